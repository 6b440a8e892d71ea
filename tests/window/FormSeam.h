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
