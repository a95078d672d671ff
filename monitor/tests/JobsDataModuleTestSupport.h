#pragma once
// The data-folder fixture of the jobs-table tests.

#include <gtest/gtest.h>

#include "DMDataFolder.h"

class DataFolderTest : public ::testing::Test, public TDataFolder {};
