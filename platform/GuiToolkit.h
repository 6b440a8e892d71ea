// Choices about the GUI toolkit that have to be made before the application object exists.
#pragma once

namespace platform {

// Sets the toolkit's environment for this process, leaving every variable the user has set
// alone. Call it first in main, before the application object is made.
void PrepareGuiToolkit();

} // namespace platform
