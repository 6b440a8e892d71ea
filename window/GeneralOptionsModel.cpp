// The general options' check list over the settings record.
#include "window/GeneralOptionsModel.h"

TGeneralOptionsModel::TGeneralOptionsModel(TOptions& options, QObject* parent)
    : QAbstractListModel(parent),
      m_options(options), m_texts{QStringLiteral("Play all albums"),
                                  QStringLiteral("Stop at end of album list"),
                                  QStringLiteral("No animated rainbow line"),
                                  QStringLiteral("Start playing at program start"),
                                  QStringLiteral("Show in system tray"),
                                  QStringLiteral("Start maximized"),
                                  QStringLiteral("Use ReplayGain"),
                                  QStringLiteral("No scrolling banner text")} {}

void TGeneralOptionsModel::ShowOptions() {
    emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
}

int TGeneralOptionsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kGeneralOptionCount;
}

QVariant TGeneralOptionsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !hasIndex(index.row(), index.column())) {
        return {};
    }
    const auto row = static_cast<size_t>(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return m_texts[row];
    case Qt::CheckStateRole:
        return m_options[row] ? Qt::Checked : Qt::Unchecked;
    default:
        return {};
    }
}

bool TGeneralOptionsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || !hasIndex(index.row(), index.column())) {
        return false;
    }
    const auto row = static_cast<size_t>(index.row());
    if (role == Qt::CheckStateRole) {
        const bool on = value.toInt() == Qt::Checked;
        if (m_options[row] != on) {
            m_options[row] = on;
            emit dataChanged(index, index, {Qt::CheckStateRole});
            emit OptionChecked(index.row());
        }
        return true;
    }
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        m_texts[row] = value.toString();
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
        return true;
    }
    return false;
}

Qt::ItemFlags TGeneralOptionsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled;
}
