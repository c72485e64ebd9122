#pragma once

// Runs the main window in a folder of its own, as the program runs in its
// current directory, with the fake platform.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <unistd.h>

#include "Dialogs.h"
#include "FakeLauncher.h"
#include "FakeWindowSystem.h"
#include "KVGUIFormUnit.h"

struct WindowFixture : ::testing::Test {
    std::filesystem::path dir, previous;

    void SetUp() override
    {
        previous = std::filesystem::current_path();
        dir = std::filesystem::temp_directory_path() /
              ("kv-window-" + std::to_string(::getpid()) + "-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        platform::FakeWindows() = platform::FakeWindowSystem{};
        platform::FakeLaunch() = platform::FakeLauncher{};
        forms::ClearShownMessages();
    }
    void TearDown() override
    {
        forms::ClearShownMessages();
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }

    // Writes a configuration: the defaults, then edit.
    static void WriteConfig(const std::function<void(KVUIOperationClass &)> &edit)
    {
        KVUIOperationClass m;
        m.WriteDefaults();
        m.settings.width = 233;
        m.settings.height = 289;
        edit(m);
        ASSERT_TRUE(m.SaveConfiguration());
    }

    static std::unique_ptr<KVUIOperationClass> Saved()
    {
        auto m = std::make_unique<KVUIOperationClass>();
        EXPECT_TRUE(m->LoadConfiguration());
        return m;
    }

    // Category c named name with n links called name0, name1, ...
    static void AddCategory(KVUIOperationClass &m, int c, const std::string &name, int n, int type = ctFiles)
    {
        m.ClearCategory(c);
        SetField(m.categories[c].name, name);
        m.categories[c].type = type;
        for (int l = 0; l < n; ++l) {
            SetField(m.categories[c].links[l].name, name + std::to_string(l));
            SetField(m.categories[c].links[l].path, "/tmp/" + name + std::to_string(l));
            m.categories[c].links[l].type = type;
            m.categories[c].links[l].used = 1;
        }
    }
};
