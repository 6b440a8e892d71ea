// The one way tests reach the main window's controls. The window keeps its layout to itself;
// a test that needs to click a button or read a list asks for the controls here, so every such
// reach is visible by this name.
#pragma once

#include "window/PlayProg.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>

struct TFormSeam {
    static TPlayerControls& Controls(TPlayerForm& form) { return form; }
    static const TPlayerControls& Controls(const TPlayerForm& form) { return form; }
    // Selects the row (or nothing for null) as the window's own clicks do.
    static void SelectRow(QTreeWidget* view, QTreeWidgetItem* row) {
        TPlayerForm::SelectRow(view, row);
    }
    // The rows drawn for the library's selected album and song, and rows added through the
    // window as its handlers add them.
    static QTreeWidgetItem* SelectedAlbum(const TPlayerForm& form) { return form.SelectedAlbum(); }
    static QTreeWidgetItem* SelectedSong(const TPlayerForm& form) { return form.SelectedSong(); }
    static QTreeWidgetItem* AddAlbumRow(TPlayerForm& form, const QString& name,
                                        const QString& songs, const QString& picPath) {
        return form.AddAlbumRow(name, songs, picPath);
    }
    static QTreeWidgetItem* AddSongRow(TPlayerForm& form, const QString& name,
                                       const QString& duration, const QString& durationNumber,
                                       const QString& fileName) {
        return form.AddSongRow(name, duration, durationNumber, fileName);
    }
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
