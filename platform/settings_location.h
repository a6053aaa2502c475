#pragma once

#include <QString>

// Where the settings file lives: the user's configuration directory, in a folder of our own.
namespace platform {

// The settings directory, ending in a separator. It need not exist yet.
QString settingsDirectory();

// Creates the settings directory when it is missing; false when that fails.
bool ensureSettingsDirectory();

} // namespace platform
