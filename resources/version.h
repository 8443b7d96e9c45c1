// The plug-in's version, in the form the version block needs it.
#pragma once

#define QV_VERSION_MAJOR 0
#define QV_VERSION_MINOR 5
#define QV_VERSION_PATCH 2
#define QV_VERSION_BUILD 0
#define QV_VERSION_TEXT "0.5.2.0"
