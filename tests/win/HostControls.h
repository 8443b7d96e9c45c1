// The common controls that the Colorize dialog's template holds; the host
// process registers them before any set-up, the plug-in never does.
#pragma once

bool RegisterHostControls();
