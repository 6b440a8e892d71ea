// The one way tests reach the main window's controls. The window keeps its layout to itself;
// a test that needs to click a button or read a list asks for the controls here, so every such
// reach is visible by this name.
#pragma once

#include "window/PlayProg.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include <functional>
#include <memory>
#include <string>
#include <utility>

struct TFormSeam {
    static TPlayerControls& Controls(TPlayerForm& form) { return form; }
    static const TPlayerControls& Controls(const TPlayerForm& form) { return form; }
    // Told about every run-time text the window looks up.
    static void ListenToLanguageTexts(
        TPlayerForm& form,
        std::function<void(const QString& section, const QString& key)> listener) {
        form.m_onLanguageText = std::move(listener);
    }
    // Run-time texts from this script from now on, without a language change.
    static void UseLanguageScript(TPlayerForm& form, std::string path) {
        form.m_languageScriptPath = std::move(path);
    }
    // The desktop's media-player service the window made at start-up.
    static TMpris* Mpris(TPlayerForm& form) { return form.m_mpris; }
    // The library the lists show: what their rows hold beyond their visible columns, and
    // entries added as the window's handlers add them.
    static TLibrary& Library(TPlayerForm& form) { return form.m_library; }
    static const TLibrary& Library(const TPlayerForm& form) { return form.m_library; }
    // Selects row `row` of a list view (none for a row that does not exist) as a click or a
    // key does: in the view, which hands it to the library.
    static void SelectRow(QAbstractItemView* view, int row) {
        const QModelIndex index = view->model()->index(row, 0);
        if (index.isValid()) {
            view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
        } else {
            view->selectionModel()->clear();
        }
    }
};

inline TPlayerControls& Controls(TPlayerForm& form) {
    return TFormSeam::Controls(form);
}
inline const TPlayerControls& Controls(const TPlayerForm& form) {
    return TFormSeam::Controls(form);
}
inline TPlayerControls& Controls(TPlayerForm* form) {
    return TFormSeam::Controls(*form);
}
inline TPlayerControls& Controls(const std::unique_ptr<TPlayerForm>& form) {
    return TFormSeam::Controls(*form);
}

// The general options' check list (GeneralOptList) and the song details (DetailsView) as their
// views show them. A check mark set here goes the way the list's check indicator sets it.
inline QModelIndex OptionEntry(const TPlayerForm& form, int option) {
    return Controls(form).GeneralOptList->model()->index(option, 0);
}
inline int OptionCount(const TPlayerForm& form) {
    return Controls(form).GeneralOptList->model()->rowCount();
}
inline QString OptionText(const TPlayerForm& form, int option) {
    return OptionEntry(form, option).data(Qt::DisplayRole).toString();
}
inline Qt::CheckState OptionCheck(const TPlayerForm& form, int option) {
    return OptionEntry(form, option).data(Qt::CheckStateRole).value<Qt::CheckState>();
}
inline void SetOptionCheck(TPlayerForm& form, int option, Qt::CheckState state) {
    Controls(form).GeneralOptList->model()->setData(OptionEntry(form, option), state,
                                                    Qt::CheckStateRole);
}
inline void ClickOption(TPlayerForm& form, int option) {
    emit Controls(form).GeneralOptList->clicked(OptionEntry(form, option));
}
inline int DetailRowCount(const TPlayerForm& form) {
    return Controls(form).DetailsView->model()->rowCount();
}
// Column 0 holds the row's caption, column 1 its value.
inline QString DetailText(const TPlayerForm& form, int row, int column) {
    const QAbstractItemModel* details = Controls(form).DetailsView->model();
    return details->index(row, column).data().toString();
}
