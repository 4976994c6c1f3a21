// SPDX-License-Identifier: MIT
// Precompiled once per test binary: what nearly every test file includes.
#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#ifdef QT_WIDGETS_LIB
#include <QtWidgets>
#endif
