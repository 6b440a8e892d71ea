// The main window's controls: every control of the layout file resources/PlayerForm.ui under its
// own name (btnPlay, PlayerPanel, GeneralOptList ...) and those the layout file cannot hold.
// The window keeps them to itself; nothing outside it reaches a control but the tests' seam.
#pragma once

#include "window/FormControls.h"

#include "platform/Dialogs.h"

#include "ui_PlayerForm.h" // generated from resources/PlayerForm.ui

#include <QList>
#include <QPixmap>
#include <QString>

#include <array>

class QTimer;
class TBanner;
class TGeneralOptionsModel;
class TGradProgress;
class TSongDetails;
class TTBNArea;

// The designed file-open dialog: only its settings live here, the dialog itself is shown
// through platform::Dialogs.
struct TOpenDialog {
    QString Filter;
    bool MultiSelect = true;
    bool HideReadOnly = true;
    bool Sizeable = true;
    // A request with these settings, the filter as it is now and the given start folder.
    platform::OpenFileRequest Request(const QString& directory = QString()) const {
        return {Filter, MultiSelect, HideReadOnly, Sizeable, directory};
    }
};

struct TPlayerControls : Ui::PlayerForm {
    // The banner in "Currently playing" and the progress bar in "Time"; null before start-up
    // and after close.
    TBanner* Banner = nullptr;
    TGradProgress* ProgressBar = nullptr;
    // Designed on the form: disabled, the program's tray icon, the left click bound to
    // TrayIconLeftClick. Owned by the window.
    TTBNArea* TrayIcon = nullptr;
    std::array<TImage*, 11> Ani{}; // Ani1 ... Ani11
    TOpenDialog OpenDialog;
    QTimer* PlayTimer = nullptr;
    QList<QPixmap> IList;
    // What DetailsView and GeneralOptList show, owned by the window.
    TSongDetails* SongDetails = nullptr;
    TGeneralOptionsModel* GeneralOptions = nullptr;

    // The eight colour shapes in the order of the settings file.
    std::array<TShape*, 8> ColorShapes() const;
};
