// The one way tests reach the main window's controls. The window keeps its layout to itself;
// a test that needs to click a button or read a list asks for the controls here, so every such
// reach is visible by this name.
#pragma once

#include "window/PlayProg.h"

#include <memory>
#include <string>
#include <utility>

struct TFormSeam {
    static Ui::PlayerForm& Controls(TPlayerForm& form) { return form; }
    // Run-time texts from this script from now on, without a language change.
    static void UseLanguageScript(TPlayerForm& form, std::string path) {
        form.m_languageScriptPath = std::move(path);
    }
};

inline Ui::PlayerForm& Controls(TPlayerForm& form) {
    return TFormSeam::Controls(form);
}
inline Ui::PlayerForm& Controls(TPlayerForm* form) {
    return TFormSeam::Controls(*form);
}
inline Ui::PlayerForm& Controls(const std::unique_ptr<TPlayerForm>& form) {
    return TFormSeam::Controls(*form);
}
