// Where the file dialogs that pick songs and pictures open: in the user's own music or
// pictures folder the first time, and where the user last picked from after that, so a new
// user never starts inside the program's own files.
#pragma once

#include <QString>

#include <string>

// The first of `lastPicked` (bytes of a path), `standardFolder` and `home` that is a folder
// now; empty when none is (the dialog then opens wherever it likes).
QString DialogStartFolder(const std::string& lastPicked, const QString& standardFolder,
                          const QString& home);

// The folder of a picked file, to open the dialog there next time; empty when the settings
// file could not keep it whole (a line break in it, or longer than one of its values).
std::string PickedFolder(const std::string& pickedFile);
