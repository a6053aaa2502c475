#pragma once

// What every GUI test of the main window uses: the window and its widgets, the test world, the
// user's actions, the audio tools and GoogleTest.
#include "app/engine/option_sets.h"
#include "app/main_form.h"
#include "tests/support/audio_tools.h"
#include "tests/support/gui_actions.h"
#include "tests/support/gui_environment.h"
#include "tests/support/main_widgets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
