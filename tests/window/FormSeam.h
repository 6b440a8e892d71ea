// The one way tests reach the main window's insides. The window shows the program only its
// start-up; a test that needs to click a button, read a list or run a handler asks for it
// here, so every such reach is visible by this name.
#pragma once

#include "window/PlayProg.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include <functional>
#include <memory>
#include <string>
#include <utility>

// Forwards TFormSeam::Name(form, args...) to the window's private member Name(args...).
#define TAVRO_SEAM_CALL(Name)                                                                      \
    template <class Form, class... Args> static decltype(auto) Name(Form& form, Args&&... args) {  \
        return form.Name(std::forward<Args>(args)...);                                             \
    }

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
    // The window's handlers and helpers, called as its own code calls them.
    static void AddSongFiles(TPlayerForm& form, const QStringList& files) {
        form.AddSongFiles(files);
    }
    static void ImportAlbumFolders(TPlayerForm& form, const QStringList& folders) {
        form.ImportAlbumFolders(folders);
    }
    TAVRO_SEAM_CALL(AlbumAddButtonClick)
    TAVRO_SEAM_CALL(AlbumComboClick)
    TAVRO_SEAM_CALL(AlbumDeleteButtonClick)
    TAVRO_SEAM_CALL(AlbumDownButtonClick)
    TAVRO_SEAM_CALL(AlbumPicAddButtonClick)
    TAVRO_SEAM_CALL(AlbumPicDeleteButtonClick)
    TAVRO_SEAM_CALL(AlbumRenameButtonClick)
    TAVRO_SEAM_CALL(AlbumUpButtonClick)
    TAVRO_SEAM_CALL(AlbumViewClick)
    TAVRO_SEAM_CALL(ApplicationTitle)
    TAVRO_SEAM_CALL(ColorDialogColor)
    TAVRO_SEAM_CALL(FillAlbumCombo)
    TAVRO_SEAM_CALL(FormClose)
    TAVRO_SEAM_CALL(LanguageComboChange)
    TAVRO_SEAM_CALL(LanguageScriptPath)
    TAVRO_SEAM_CALL(LanguageText)
    TAVRO_SEAM_CALL(LoadDatabase)
    TAVRO_SEAM_CALL(OpenSelectedSong)
    TAVRO_SEAM_CALL(PLDeleteButtonClick)
    TAVRO_SEAM_CALL(PLDownButtonClick)
    TAVRO_SEAM_CALL(PLLoadButtonClick)
    TAVRO_SEAM_CALL(PLSongChangeButtonClick)
    TAVRO_SEAM_CALL(PLUpButtonClick)
    TAVRO_SEAM_CALL(PlayTimerTimer)
    TAVRO_SEAM_CALL(Player)
    TAVRO_SEAM_CALL(PlaylistShown)
    TAVRO_SEAM_CALL(SaveDatabase)
    TAVRO_SEAM_CALL(SelectedFontFace)
    TAVRO_SEAM_CALL(SetPlayButtons)
    TAVRO_SEAM_CALL(SetSongButtons)
    TAVRO_SEAM_CALL(Settings)
    TAVRO_SEAM_CALL(ShowAlbum)
    TAVRO_SEAM_CALL(StoreSongList)
    TAVRO_SEAM_CALL(Transport)
    TAVRO_SEAM_CALL(TrayEnabled)
    TAVRO_SEAM_CALL(TrayIconAvailable)
    TAVRO_SEAM_CALL(TrayTip)
    TAVRO_SEAM_CALL(WMSysCommand)
    TAVRO_SEAM_CALL(WinColorMouseDown)
    TAVRO_SEAM_CALL(btnPlayClick)
    TAVRO_SEAM_CALL(btnStopClick)
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
