// Small helpers shared by the unit tests of the utility library and later subsystems.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdio.h>

#include <functional>
#include <string>

namespace testsupport {

// A fresh folder below the temporary folder, removed with its files at the end of the test.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

std::string ReadFileText(const std::string& path);
bool WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// The folder of the running test program (where the build puts all programs).
std::string ProgramFolder();
// Whether the test run promised an X display (VELMORA_DISPLAY_REQUIRED=1, set by scripts/test):
// then a window that cannot be created is a failure, not a reason to skip.
bool DisplayRequired();
// Whether a window can be made at all.
bool HaveDisplay();
// Polls the condition until it holds or the time is up; whether it held. For results that a
// worker thread or a timer brings, however late a loaded machine lets it run.
bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds);

// A registry key made for one test and removed with everything below it afterwards.
class CTestKey {
public:
    CTestKey(HKEY root, const std::string& path);
    ~CTestKey();
    CTestKey(const CTestKey&) = delete;
    CTestKey& operator=(const CTestKey&) = delete;
    void SetString(const char* name, const std::string& value, DWORD type = REG_SZ);
    void SetDword(const char* name, DWORD value);

private:
    HKEY m_root;
    std::string m_path;
    HKEY m_key = nullptr;
};

} // namespace testsupport

// In a GoogleTest test that opens windows: skips it without a display, fails it when the run
// promised one.
#define VELMORA_REQUIRE_DISPLAY()                                                          \
    do {                                                                               \
        if (!testsupport::HaveDisplay()) {                                             \
            if (testsupport::DisplayRequired())                                        \
                FAIL() << "no window can be made although a display was promised";    \
            GTEST_SKIP() << "no display";                                              \
        }                                                                              \
    } while (0)
