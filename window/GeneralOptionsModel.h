// The general options as the check list of the Options page shows them: each entry's text
// (the designed English one until a language script gives another) and its check mark, which
// is the option in the settings record itself, so list and record cannot disagree.
#pragma once

#include "window/GeneralOptions.h"

#include <QAbstractListModel>
#include <QString>

#include <array>

class TGeneralOptionsModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using TOptions = std::array<bool, kGeneralOptionCount>;

    // `options` (the record's) must outlive the model.
    explicit TGeneralOptionsModel(TOptions& options, QObject* parent = nullptr);

    // The record was changed without the list (settings read): the check marks follow it.
    void ShowOptions();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // A check mark set or cleared changes the record and is announced (OptionChecked); a text
    // replaces the entry's text and keeps its check mark. Texts are never edited in the list.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The check mark of entry `option` changed through the list; the record holds it already.
    void OptionChecked(int option);

private:
    TOptions& m_options;
    std::array<QString, kGeneralOptionCount> m_texts;
};
