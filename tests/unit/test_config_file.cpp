#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "FileSafety.h"
#include "Kvguiglobals.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

// The file's bytes, empty when it cannot be read; read in one piece, as a
// byte-wise stream takes seconds over 2 MB in a sanitized build.
Bytes ReadAll(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size <= 0)
        return {};
    Bytes b(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char *>(b.data()), size);
    b.resize(static_cast<std::size_t>(in.gcount()));
    return b;
}

void WriteAll(const fs::path &p, const Bytes &b)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
}

void PutFloat(Bytes &b, std::size_t at, float v)
{
    std::memcpy(b.data() + at, &v, 4);
}

int32_t GetInt(const Bytes &b, std::size_t at)
{
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::set<std::string> Names(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

#ifdef _WIN32

// Windows' stat counts no links and numbers no files: its own call does both.
BY_HANDLE_FILE_INFORMATION InfoOf(const fs::path &p)
{
    BY_HANDLE_FILE_INFORMATION info{};
    HANDLE h =
        ::CreateFileW(p.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::GetFileInformationByHandle(h, &info);
        ::CloseHandle(h);
    }
    return info;
}

std::uintmax_t LinkCount(const fs::path &p)
{
    return InfoOf(p).nNumberOfLinks;
}

unsigned long long FileIndex(const fs::path &p)
{
    const BY_HANDLE_FILE_INFORMATION info = InfoOf(p);
    return (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

// A process of this program, started suspended: it runs, in that it has not
// ended, until Stop; once stopped its pid names no running process.
struct ChildProcess {
    PROCESS_INFORMATION info{};
    ChildProcess()
    {
        wchar_t self[MAX_PATH];
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(self) + L"\" --gtest_list_tests";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!::CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                              &startup, &info))
            throw std::runtime_error("no child process");
    }
    ~ChildProcess()
    {
        Stop();
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
    void Stop()
    {
        ::TerminateProcess(info.hProcess, 0);
        ::WaitForSingleObject(info.hProcess, INFINITE);
    }
    std::string Pid() const { return std::to_string(info.dwProcessId); }
};

// A pid no process holds: a child's, once it has ended.
std::string DeadPid()
{
    ChildProcess child;
    child.Stop();
    return child.Pid();
}

int OwnPid()
{
    return ::_getpid();
}

#else

std::uintmax_t LinkCount(const fs::path &p)
{
    return fs::hard_link_count(p);
}

unsigned long long FileIndex(const fs::path &p)
{
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_ino;
}

int OwnPid()
{
    return ::getpid();
}

mode_t ModeOf(const fs::path &p)
{
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

// File modes do not bind root, who runs the tests in CI: the files are handed
// to nobody and the program's side runs in a child process as nobody. Run by
// an ordinary user, the tests hand the files to that user himself.
constexpr uid_t kNobody = 65534;

void GiveToOrdinaryUser(const fs::path &p)
{
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::lchown(p.c_str(), root ? kNobody : ::geteuid(), root ? kNobody : ::getegid()), 0) << p;
}

// What a child process found wrong, for the parent to report.
struct Findings {
    std::string text;
    void Expect(bool ok, const std::string &what)
    {
        if (!ok)
            text += what + "; ";
    }
};

// Runs body in a child process as an ordinary user; its findings, or why it
// could not run, come back as text, empty when everything held.
std::string AsOrdinaryUser(const std::function<std::string()> &body)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child < 0)
        return "no child process";
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string findings;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
             ::setresuid(kNobody, kNobody, kNobody) != 0)) {
            findings = "could not become an ordinary user";
        } else {
            try {
                findings = body();
            } catch (const std::exception &e) {
                findings = e.what();
            }
        }
        const bool sent =
            ::write(pipeFds[1], findings.data(), findings.size()) == static_cast<ssize_t>(findings.size());
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string findings;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        findings.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        findings += "(the child process did not finish)";
    return findings;
}

// A pid no process holds: a child's, once it has been reaped.
std::string DeadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return std::to_string(child);
}

#endif

// The model takes paths as UTF-8, which on Windows is not a path's narrow text.
std::string Utf8(const fs::path &p)
{
    const std::u8string text = p.u8string();
    return std::string(text.begin(), text.end());
}

struct ConfigFile : ::testing::Test {
    fs::path dir;
    std::unique_ptr<KVUIOperationClass> m;

    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kv-config-" + std::to_string(OwnPid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        m = Fresh();
    }
    void TearDown() override
    {
        fs::permissions(dir, fs::perms::owner_all);
#ifdef _WIN32
        // Windows removes no read-only file.
        for (const auto &entry : fs::recursive_directory_iterator(dir))
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
#endif
        fs::remove_all(dir);
    }
    std::unique_ptr<KVUIOperationClass> Fresh()
    {
        auto model = std::make_unique<KVUIOperationClass>();
        model->directory = Utf8(dir);
        // Two monitors side by side: the clock's default is the primary
        // screen's centre, never the seam in the middle of both.
        model->screenWidth = 2560;
        model->screenHeight = 1440;
        model->clockDefaultLeft = 640;
        model->clockDefaultTop = 512;
        return model;
    }
    fs::path Config() const
    {
        return dir / "KVUI_Config.dat";
    }
    fs::path Old() const
    {
        return dir / "KVUI_Config_OLD.dat";
    }

    // A full file whose every field differs from the defaults.
    Bytes Distinctive()
    {
        m->WriteDefaults();
        m->SetColour(crTitle, 1, 2, 3);
        SetField(m->appearance.linksFont, "Fixed");
        m->useWindowsColours = true;
        m->gameSectionOpen = true;
        m->clockVisible = true;
        m->clockLeft = 17;
        m->clockTop = 23;
        m->buttonSectionOpen = false;
        m->settings.alpha = 200;
        EXPECT_TRUE(m->SaveConfiguration());
        return ReadAll(Config());
    }
};

TEST_F(ConfigFile, DefaultFileHasDesignedContent)
{
    EXPECT_FALSE(m->LoadConfiguration());
    EXPECT_TRUE(m->WriteDefaults());
    ASSERT_TRUE(m->SaveConfiguration());
    Bytes b = ReadAll(Config());
    ASSERT_EQ(b.size(), 2067380u);
    float version;
    std::memcpy(&version, b.data() + 400, 4);
    EXPECT_EQ(version, 118.0f);

    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_STREQ(loaded->categories[0].name, "Example");
    EXPECT_STREQ(loaded->categories[1].name, "Kestrava Pages");
    EXPECT_STREQ(loaded->categories[0].links[0].path, "/");
    EXPECT_STREQ(loaded->categories[0].links[0].name, "/");
    EXPECT_EQ(loaded->categories[0].links[0].type, ctDirectories);
    EXPECT_EQ(loaded->LinkCount(0), 1);
    EXPECT_EQ(loaded->LinkCount(1), 1);
    EXPECT_EQ(loaded->categories[1].links[0].type, ctWebsites);
    EXPECT_EQ(loaded->FirstFreeCategory(), 2);
    for (int c = 2; c < kMaxCategories; ++c)
        EXPECT_EQ(loaded->categories[c].type, -1);
    EXPECT_EQ(loaded->settings.dockPosition, dpBottomRight);
    EXPECT_EQ(std::memcmp(&loaded->settings, &loaded->savedSettings, sizeof(WindowSettings)), 0);
    EXPECT_STREQ(loaded->header.title, "Kestrava");
    EXPECT_LE(std::strlen(loaded->header.credit), 49u);
    EXPECT_GT(std::strlen(loaded->header.credit), 0u);
}

TEST_F(ConfigFile, SaveAndLoadRoundTripEveryBlock)
{
    Bytes saved = Distinctive();
    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_EQ(std::memcmp(loaded->categories, m->categories, sizeof m->categories), 0);
    EXPECT_EQ(std::memcmp(&loaded->appearance, &m->appearance, sizeof(Appearance)), 0);
    EXPECT_EQ(loaded->clockLeft, 17);
    EXPECT_EQ(loaded->clockTop, 23);
    EXPECT_TRUE(loaded->clockVisible);
    EXPECT_FALSE(loaded->buttonSectionOpen);
    ASSERT_TRUE(loaded->SaveConfiguration());
    EXPECT_EQ(ReadAll(Config()), saved);
    // The unaligned tail sits where the format puts it.
    EXPECT_EQ(GetInt(saved, ConfigLayout::kClockLeft), 17);
    EXPECT_EQ(GetInt(saved, ConfigLayout::kClockTop), 23);
    EXPECT_EQ(saved[ConfigLayout::kButtonSectionOpen], 0);
    EXPECT_EQ(GetInt(saved, ConfigLayout::kSettings + 20), 200);
}

TEST_F(ConfigFile, OlderAndNewerVersionsReadTheirFields)
{
    const Bytes full = Distinctive();
    struct Case {
        float version;
        bool appearance, windowsColours, gameSection, clock, buttonSection;
    } cases[] = {
        {96.5f, false, false, false, false, false}, {97.0f, true, false, false, false, false},
        {114.9f, true, true, true, false, false},   {115.0f, true, true, true, true, false},
        {118.0f, true, true, true, true, true},     {120.0f, true, true, true, true, true},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.version);
        Bytes b = full;
        PutFloat(b, 400, tc.version);
        WriteAll(Config(), b);
        auto loaded = Fresh();
        ASSERT_TRUE(loaded->LoadConfiguration());
        EXPECT_EQ(std::memcmp(loaded->categories, m->categories, sizeof m->categories), 0);
        EXPECT_EQ(loaded->settings.alpha, 200);
        EXPECT_EQ(loaded->GetColour(crTitle).r, tc.appearance ? 1 : 166);
        EXPECT_STREQ(loaded->appearance.linksFont, tc.appearance ? "Fixed" : "Verdana");
        EXPECT_EQ(loaded->useWindowsColours, tc.windowsColours);
        EXPECT_EQ(loaded->gameSectionOpen, tc.gameSection);
        EXPECT_EQ(loaded->clockVisible, tc.clock);
        EXPECT_EQ(loaded->clockLeft, tc.clock ? 17 : 640);
        EXPECT_EQ(loaded->clockTop, tc.clock ? 23 : 512);
        EXPECT_EQ(loaded->buttonSectionOpen, !tc.buttonSection);
        // Whatever was read, the next save writes the full current layout.
        ASSERT_TRUE(loaded->SaveConfiguration());
        Bytes again = ReadAll(Config());
        ASSERT_EQ(again.size(), ConfigLayout::kFileSize);
        float v;
        std::memcpy(&v, again.data() + 400, 4);
        EXPECT_EQ(v, 118.0f);
    }
}

TEST_F(ConfigFile, BackupKeepsTheFileAsItWasAtStart)
{
    Bytes saved = Distinctive();
    ASSERT_TRUE(m->BackupConfiguration());
    ASSERT_TRUE(m->BackupConfiguration()); // twice in a row: still one clean backup
    m->settings.alpha = 99;
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(ReadAll(Old()), saved);
    EXPECT_NE(ReadAll(Config()), saved);
    int entries = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 2);
}

TEST_F(ConfigFile, BackupIsLoadedWhenTheFileIsMissing)
{
    Bytes saved = Distinctive();
    ASSERT_TRUE(m->BackupConfiguration());
    EXPECT_EQ(ReadAll(Old()), saved);
    fs::remove(Config());
    EXPECT_FALSE(m->BackupConfiguration()); // nothing to copy: the backup stays
    EXPECT_EQ(ReadAll(Old()), saved);

    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_EQ(loaded->clockLeft, 17);
    ASSERT_TRUE(loaded->SaveConfiguration());
    EXPECT_EQ(ReadAll(Config()), saved);
}

// The backup holds the configuration and nothing after it: a file grown far
// past its last field costs no more to back up than a whole one. A shorter
// file of an older version is copied whole.
TEST_F(ConfigFile, TheBackupHoldsNoMoreThanTheConfiguration)
{
    const Bytes saved = Distinctive();
    Bytes older(saved.begin(), saved.begin() + ConfigLayout::kAppearance);
    PutFloat(older, 400, 96.5f);
    Bytes padded = saved, olderPadded = older;
    padded.resize(saved.size() + 5 * 65536 + 7, 0xA5); // past several reads' worth
    olderPadded.resize(saved.size() + 100, 0xA5);
    const Bytes olderCut(olderPadded.begin(), olderPadded.begin() + ConfigLayout::kFileSize);
    struct Case {
        const char *what;
        const Bytes &config, &backup;
    } cases[] = {
        {"trailing junk", padded, saved},
        {"older version", older, older},
        {"older version with trailing junk", olderPadded, olderCut},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.what);
        WriteAll(Config(), tc.config);
        ASSERT_TRUE(m->BackupConfiguration()) << m->lastSaveError;
        EXPECT_EQ(ReadAll(Old()), tc.backup);
        EXPECT_EQ(ReadAll(Config()), tc.config);
    }
}

// Files no version of the program wrote: every text still ends inside its
// field, every bool is 0 or 1, and nothing is read past the buffers.
TEST_F(ConfigFile, DamagedFilesLoadSafely)
{
    std::mt19937 rng(42);
    Bytes garbage(ConfigLayout::kFileSize + 5000);
    for (auto &byte : garbage)
        byte = static_cast<unsigned char>(rng());
    Bytes noNul(ConfigLayout::kFileSize, 'A');
    PutFloat(noNul, 400, 118.0f);
    Bytes nanVersion = Distinctive();
    const uint32_t nanBits = 0x7FC00000;
    std::memcpy(nanVersion.data() + 400, &nanBits, 4);
    Bytes hugeVersion = nanVersion;
    PutFloat(hugeVersion, 400, 3.0e38f);

    struct Case {
        const char *what;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"header cut short", Bytes(noNul.begin(), noNul.begin() + 200)},
        {"inside the categories", Bytes(noNul.begin(), noNul.begin() + 1000)},
        {"inside the tail", Bytes(noNul.begin(), noNul.begin() + ConfigLayout::kClockLeft + 2)},
        {"random", garbage},
        {"no NUL anywhere", noNul},
        {"NaN version", nanVersion},
        {"huge version", hugeVersion},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.what);
        WriteAll(Config(), tc.bytes);
        auto loaded = Fresh();
        ASSERT_TRUE(loaded->LoadConfiguration());
        EXPECT_LE(std::strlen(loaded->header.title), 49u);
        EXPECT_LE(std::strlen(loaded->header.description), 299u);
        EXPECT_LE(std::strlen(loaded->appearance.linksFont), 49u);
        for (const CategoryRecord &c : loaded->categories) {
            EXPECT_LE(std::strlen(c.name), 49u);
            EXPECT_LE(std::strlen(c.description), 249u);
            EXPECT_LE(std::strlen(c.links[49].path), 1999u);
            unsigned char raw[2];
            std::memcpy(raw, &c.lockedOpen, 2);
            EXPECT_LE(raw[0], 1);
            EXPECT_LE(raw[1], 1);
        }
        EXPECT_LT(loaded->LinkCount(0), 51);
        EXPECT_TRUE(loaded->SaveConfiguration());
    }
}

TEST_F(ConfigFile, ShortFileKeepsResetValuesForWhatItLacks)
{
    Bytes full = Distinctive();
    Bytes cut(full.begin(), full.begin() + ConfigLayout::kSettings); // no settings blocks
    WriteAll(Config(), cut);
    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_STREQ(loaded->categories[0].name, "Example");
    EXPECT_EQ(loaded->settings.alpha, 0);
    EXPECT_EQ(loaded->settings.width, 0);
    EXPECT_TRUE(loaded->buttonSectionOpen);
}

TEST_F(ConfigFile, FailedSaveKeepsThePreviousFile)
{
    const Bytes before = Distinctive();
    m->settings.alpha = 77;

#ifndef _WIN32
    // The file size limit is met half way through the write.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = m->SaveConfiguration();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadAll(Config()), before);
#else
    // Another program holds the file open and lets nobody replace it.
    {
        HANDLE held = ::CreateFileW(Config().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const bool saved = m->SaveConfiguration();
        ::CloseHandle(held);
        EXPECT_FALSE(saved);
        EXPECT_FALSE(m->lastSaveError.empty());
        EXPECT_EQ(ReadAll(Config()), before);
    }
#endif

    // The configuration's name is taken by a folder.
    fs::remove(Config());
    fs::create_directory(Config());
    EXPECT_FALSE(m->SaveConfiguration());
    EXPECT_TRUE(fs::is_directory(Config()));

    // The folder itself is gone.
    auto lost = Fresh();
    lost->directory = Utf8(dir / "missing");
    lost->WriteDefaults();
    EXPECT_FALSE(lost->SaveConfiguration());

    // No temporary file is left behind by any of them.
    int entries = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(ConfigFile, AnUnchangedModelIsNotWrittenAgain)
{
    const Bytes saved = Distinctive();
    const unsigned long long before = FileIndex(Config());
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(FileIndex(Config()), before); // the very same file: nothing was rewritten

    // Removed or replaced behind the model's back: the next save writes it out whole.
    fs::remove(Config());
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(ReadAll(Config()), saved);
    WriteAll(Config(), Bytes(10, 0));
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(ReadAll(Config()), saved);

    // A change is written, of course.
    m->settings.alpha = 61;
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(GetInt(ReadAll(Config()), ConfigLayout::kSettings + 20), 61);
}

TEST_F(ConfigFile, ADamagedFileNeitherReplacesTheBackupNorLoadsOverIt)
{
    const Bytes whole = Distinctive();
    ASSERT_TRUE(m->BackupConfiguration());
    for (std::size_t size :
         {std::size_t(0), std::size_t(300), ConfigLayout::kSettings, ConfigLayout::kFileSize - 1}) {
        SCOPED_TRACE(size);
        WriteAll(Config(), Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_FALSE(m->BackupConfiguration());
        EXPECT_EQ(ReadAll(Old()), whole);
        auto loaded = Fresh();
        ASSERT_TRUE(loaded->LoadConfiguration());
        EXPECT_EQ(loaded->clockLeft, 17); // the backup's content
        EXPECT_STREQ(loaded->categories[0].name, "Example");
    }
    // An older version's shorter file is whole and is used as it is.
    Bytes v96 = whole;
    PutFloat(v96, 400, 96.5f);
    v96.resize(ConfigLayout::kAppearance);
    WriteAll(Config(), v96);
    EXPECT_TRUE(m->BackupConfiguration());
    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_EQ(loaded->clockLeft, 640); // no clock fields in that version
}

#ifdef _WIN32
// Windows' equivalent of a file's permissions: its attributes and access
// list, which the replacement takes over from the file it replaces.
TEST_F(ConfigFile, SavingKeepsTheFilesAttributes)
{
    Distinctive();
    const std::wstring name = Config().wstring();
    ASSERT_TRUE(::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    m->settings.alpha = 70;
    ASSERT_TRUE(m->SaveConfiguration()) << m->lastSaveError;
    EXPECT_EQ(GetInt(ReadAll(Config()), ConfigLayout::kSettings + 20), 70);
    EXPECT_TRUE(::GetFileAttributesW(name.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(Names(dir).size(), 1u);
}
#else
TEST_F(ConfigFile, SavingKeepsTheFilesPermissions)
{
    Distinctive();
    fs::permissions(Config(), fs::perms::owner_read | fs::perms::owner_write);
    m->settings.alpha = 70;
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(fs::status(Config()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}
#endif

// The model's paths are UTF-8 text; on Windows every call must take them as
// such, never in the system's narrow code page.
TEST_F(ConfigFile, AFolderNamedOutsideAsciiWorksAlike)
{
    const fs::path folder = dir / fs::path(u8"Zo\u00eb \u2713 \u65e5\u672c");
    fs::create_directory(folder);
    auto model = Fresh();
    model->directory = Utf8(folder);
    model->WriteDefaults();
    model->settings.alpha = 61;
    ASSERT_TRUE(model->SaveConfiguration()) << model->lastSaveError;
    ASSERT_TRUE(model->BackupConfiguration()) << model->lastSaveError;
    model->settings.alpha = 62;
    ASSERT_TRUE(model->SaveConfiguration()) << model->lastSaveError;
    WriteAll(folder / ("KVUI_Config.dat.tmp" + DeadPid() + "-0"), Bytes(10, 2));
    std::ofstream(folder / "Kestrava.ini", std::ios::binary) << "[Debug]\nDebugMode=1\n";

    auto loaded = Fresh();
    loaded->directory = Utf8(folder);
    ASSERT_TRUE(loaded->LoadConfiguration());
    loaded->ReadIniFile();
    EXPECT_EQ(loaded->settings.alpha, 62);
    EXPECT_TRUE(loaded->debugMode);
    EXPECT_EQ(GetInt(ReadAll(folder / "KVUI_Config_OLD.dat"), ConfigLayout::kSettings + 20), 61);
    EXPECT_EQ(Names(folder),
              (std::set<std::string>{"KVUI_Config.dat", "KVUI_Config_OLD.dat", "Kestrava.ini"}));
    EXPECT_EQ(Names(dir).size(), 1u); // nothing went beside the folder under a garbled name
}

TEST_F(ConfigFile, ConfigurationFolderTakenByAFolderIsNotLoaded)
{
    fs::create_directory(Config());
    EXPECT_FALSE(m->LoadConfiguration());
}

TEST_F(ConfigFile, IniSwitchIsReadFromTheDirectory)
{
    m->ReadIniFile();
    EXPECT_FALSE(m->debugMode);
    std::ofstream(dir / "Kestrava.ini") << "[Debug]\r\nDebugMode=1\r\n";
    m->ReadIniFile();
    EXPECT_TRUE(m->debugMode);
}

// The backup is the program's own file, renewed even when read-only (see
// EveryStartRenewsTheBackup); the configuration is the user's.
TEST_F(ConfigFile, AFileNobodyMayWriteIsNotSavedOver)
{
    const Bytes saved = Distinctive();
    ASSERT_TRUE(m->BackupConfiguration());
    const fs::perms rw = fs::perms::owner_read | fs::perms::owner_write;
    const fs::perms r = fs::perms::owner_read;
    struct Case {
        const char *what;
        fs::perms mode;
    } cases[] = {
        {"configuration 0444", r | fs::perms::group_read | fs::perms::others_read},
        {"configuration 0400", r},
    };
    int change = 0;
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.what);
        for (const fs::path &p : {Config(), Old()}) {
            fs::permissions(p, rw);
            WriteAll(p, saved);
        }
        const fs::path protectedFile = Config();
        fs::permissions(protectedFile, tc.mode);
        m->settings.alpha = 50 + ++change;
        EXPECT_FALSE(m->SaveConfiguration());
        EXPECT_FALSE(m->lastSaveError.empty());
        EXPECT_EQ(ReadAll(protectedFile), saved);
#ifdef _WIN32
        // Windows has one read-only flag, for everybody.
        EXPECT_EQ(fs::status(protectedFile).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#else
        EXPECT_EQ(fs::status(protectedFile).permissions() & fs::perms::all, tc.mode);
#endif
        EXPECT_EQ(Names(dir).size(), 2u);
    }
}

#ifndef _WIN32
// The folder is the user's, the file is not: renaming over it would succeed.
TEST_F(ConfigFile, AFileTheUserMayNotWriteIsNotSavedOver)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs a file of another user, which only root can make";
    const Bytes saved = Distinctive();
    GiveToOrdinaryUser(dir);
    const std::string findings = AsOrdinaryUser([&] {
        Findings f;
        auto model = Fresh();
        f.Expect(model->LoadConfiguration(), "loads");
        model->settings.alpha = 61;
        f.Expect(!model->SaveConfiguration(), "refuses to save");
        f.Expect(!model->lastSaveError.empty(), "tells why");
        return f.text;
    });
    EXPECT_EQ(findings, "");
    EXPECT_EQ(ReadAll(Config()), saved);
    struct stat st {};
    ASSERT_EQ(::stat(Config().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(Names(dir).size(), 1u);
}
#endif

#ifndef _WIN32
TEST_F(ConfigFile, AFileThatCouldNotBeReadIsNeverReplaced)
{
    const Bytes whole = Distinctive(); // alpha 200
    ASSERT_TRUE(m->BackupConfiguration());
    m->settings.alpha = 44;
    ASSERT_TRUE(m->SaveConfiguration());
    const Bytes unreadable = ReadAll(Config());
    for (bool withBackup : {true, false}) {
        SCOPED_TRACE(withBackup ? "with a backup" : "without a backup");
        if (!withBackup)
            fs::remove(Old());
        for (const fs::path &p : {dir, Config()})
            GiveToOrdinaryUser(p);
        if (withBackup)
            GiveToOrdinaryUser(Old());
        ASSERT_EQ(::chmod(Config().c_str(), 0), 0);
        const std::string findings = AsOrdinaryUser([&] {
            Findings f;
            auto model = Fresh();
            f.Expect(model->LoadConfiguration(), "loads");
            f.Expect(model->settings.alpha == (withBackup ? 200 : 0),
                     "runs on the backup or the reset state");
            f.Expect(!model->BackupConfiguration(), "takes no backup of it");
            model->settings.alpha = 5;
            f.Expect(!model->SaveConfiguration(), "refuses to save");
            f.Expect(!model->lastSaveError.empty(), "tells why");
            // Readable again later in the same run, it is still not the
            // file this run loaded.
            f.Expect(::chmod(Config().c_str(), 0600) == 0, "chmod");
            f.Expect(!model->SaveConfiguration(), "refuses to save once it can be read");
            model->WriteDefaults();
            f.Expect(!model->SaveConfiguration(), "refuses to save the defaults");
            return f.text;
        });
        EXPECT_EQ(findings, "");
        EXPECT_EQ(ReadAll(Config()), unreadable);
        if (withBackup) {
            EXPECT_EQ(ReadAll(Old()), whole);
        }
        EXPECT_EQ(Names(dir).size(), withBackup ? 2u : 1u);
    }
}
#else
// Another program holds the file open and shares it with nobody: the run
// cannot read it, and must never write what it shows instead over it.
TEST_F(ConfigFile, AFileThatCouldNotBeReadIsNeverReplaced)
{
    const Bytes whole = Distinctive(); // alpha 200
    ASSERT_TRUE(m->BackupConfiguration());
    m->settings.alpha = 44;
    ASSERT_TRUE(m->SaveConfiguration());
    const Bytes unreadable = ReadAll(Config());
    for (bool withBackup : {true, false}) {
        SCOPED_TRACE(withBackup ? "with a backup" : "without a backup");
        if (!withBackup)
            fs::remove(Old());
        HANDLE held = ::CreateFileW(Config().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        auto model = Fresh();
        EXPECT_TRUE(model->LoadConfiguration());
        EXPECT_EQ(model->settings.alpha, withBackup ? 200 : 0) << "runs on the backup or the reset state";
        EXPECT_FALSE(model->BackupConfiguration());
        model->settings.alpha = 5;
        EXPECT_FALSE(model->SaveConfiguration());
        EXPECT_FALSE(model->lastSaveError.empty());
        // Let go later in the same run, it is still not the file this run loaded.
        ::CloseHandle(held);
        EXPECT_FALSE(model->SaveConfiguration());
        model->WriteDefaults();
        EXPECT_FALSE(model->SaveConfiguration());
        EXPECT_EQ(ReadAll(Config()), unreadable);
        if (withBackup) {
            EXPECT_EQ(ReadAll(Old()), whole);
        }
        EXPECT_EQ(Names(dir).size(), withBackup ? 2u : 1u);
    }
}
#endif

#ifndef _WIN32
TEST_F(ConfigFile, AReadOnlyFolderStillTakesSaves)
{
    Distinctive();
    ASSERT_TRUE(m->BackupConfiguration());
    struct stat before {};
    ::stat(Config().c_str(), &before);
    for (const fs::path &p : {dir, Config(), Old()})
        GiveToOrdinaryUser(p);
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    const std::string findings = AsOrdinaryUser([&] {
        Findings f;
        auto model = Fresh();
        f.Expect(model->LoadConfiguration(), "loads");
        model->settings.alpha = 61;
        f.Expect(model->SaveConfiguration(), "saves");
        f.Expect(model->BackupConfiguration(), "backs up");
        model->settings.alpha = 62;
        f.Expect(model->SaveConfiguration(), "saves again");
        // Our own read-only backup could be renewed only by a rename.
        f.Expect(::chmod(Old().c_str(), 0444) == 0, "chmod");
        f.Expect(!model->BackupConfiguration(), "renews no read-only backup");
        f.Expect(model->lastSaveError.find("read-only") != std::string::npos, "says it is read-only");
        return f.text;
    });
    EXPECT_EQ(findings, "");
    EXPECT_EQ(GetInt(ReadAll(Config()), ConfigLayout::kSettings + 20), 62);
    EXPECT_EQ(GetInt(ReadAll(Old()), ConfigLayout::kSettings + 20), 61);
    EXPECT_EQ(ReadAll(Config()).size(), ConfigLayout::kFileSize);
    struct stat after {};
    ::stat(Config().c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Names(dir).size(), 2u);
}
#endif

#ifndef _WIN32
TEST_F(ConfigFile, SavesGoThroughSymbolicLinks)
{
    const fs::path dotfiles = dir / "dotfiles";
    struct Case {
        const char *what;
        fs::path configLink; // what KVUI_Config.dat points to
        fs::path hop;        // an intermediate link, if any, pointing to target
        bool targetExists;
    } cases[] = {
        {"relative link to a file", "dotfiles/kv.dat", {}, true},
        {"relative link to no file yet", "dotfiles/kv.dat", {}, false},
        {"chain of absolute links", dir / "hop", dir / "hop", true},
    };
    const fs::path target = dotfiles / "kv.dat";
    const fs::path oldTarget = dotfiles / "kv-old.dat";
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.what);
        fs::remove_all(dotfiles);
        for (const fs::path &p : {Config(), Old(), dir / "hop"})
            fs::remove(p);
        fs::create_directory(dotfiles);
        if (tc.targetExists) {
            WriteAll(target, Bytes(10, 1));
            fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
        }
        if (!tc.hop.empty())
            fs::create_symlink(target, tc.hop);
        fs::create_symlink(tc.configLink, Config());
        fs::create_symlink("dotfiles/kv-old.dat", Old());

        const Bytes saved = Distinctive();
        ASSERT_TRUE(fs::is_symlink(Config()));
        EXPECT_EQ(ReadAll(target), saved);
        if (tc.targetExists) {
            EXPECT_EQ(ModeOf(target), 0600u);
        }
        ASSERT_TRUE(m->BackupConfiguration());
        EXPECT_TRUE(fs::is_symlink(Old()));
        EXPECT_EQ(ReadAll(oldTarget), saved);
        m->settings.alpha = 61;
        ASSERT_TRUE(m->SaveConfiguration());
        EXPECT_TRUE(fs::is_symlink(Config()));
        EXPECT_EQ(GetInt(ReadAll(target), ConfigLayout::kSettings + 20), 61);

        // A killed save's temporary lies beside the real target, and goes there.
        WriteAll(dotfiles / ("kv.dat.tmp" + DeadPid() + "-0"), Bytes(10, 2));
        ASSERT_TRUE(Fresh()->LoadConfiguration());
        EXPECT_EQ(Names(dotfiles), (std::set<std::string>{"kv.dat", "kv-old.dat"}));
    }

    // Links that never end at a file are left as they are.
    fs::remove(Config());
    fs::create_symlink("loop", Config());
    fs::create_symlink("KVUI_Config.dat", dir / "loop");
    EXPECT_FALSE(m->SaveConfiguration());
    EXPECT_FALSE(m->lastSaveError.empty());
    EXPECT_TRUE(fs::is_symlink(Config()));
    EXPECT_TRUE(fs::is_symlink(dir / "loop"));
}
#endif

TEST_F(ConfigFile, HardLinkedFilesSeeEverySave)
{
    Distinctive();
    ASSERT_TRUE(m->BackupConfiguration());
    const fs::path configElsewhere = dir / "config-elsewhere", oldElsewhere = dir / "backup-elsewhere";
    fs::create_hard_link(Config(), configElsewhere);
    fs::create_hard_link(Old(), oldElsewhere);
    m->settings.alpha = 61;
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(GetInt(ReadAll(configElsewhere), ConfigLayout::kSettings + 20), 61);
    EXPECT_EQ(ReadAll(configElsewhere), ReadAll(Config()));
    EXPECT_EQ(LinkCount(Config()), 2u);
    ASSERT_TRUE(m->BackupConfiguration());
    EXPECT_EQ(ReadAll(oldElsewhere), ReadAll(Config()));
    EXPECT_EQ(LinkCount(Old()), 2u);
    EXPECT_EQ(Names(dir).size(), 4u);
}

#ifndef _WIN32
TEST_F(ConfigFile, TheBackupNeverWidensTheFilesPermissions)
{
    const mode_t oldMask = ::umask(022);
    Distinctive();
    struct Case {
        mode_t config;
        mode_t backupBefore; // 0: no backup yet
    } cases[] = {{0600, 0}, {0600, 0644}, {0640, 0666}, {0644, 0600}};
    for (const Case &tc : cases) {
        SCOPED_TRACE(std::to_string(tc.config) + " over " + std::to_string(tc.backupBefore));
        fs::remove(Old());
        if (tc.backupBefore) {
            WriteAll(Old(), Bytes(5, 1));
            ASSERT_EQ(::chmod(Old().c_str(), tc.backupBefore), 0);
        }
        ASSERT_EQ(::chmod(Config().c_str(), tc.config), 0);
        ASSERT_TRUE(m->BackupConfiguration());
        // Never wider than the source, and a backup the user narrowed stays so.
        EXPECT_EQ(ModeOf(Old()), tc.backupBefore ? tc.config & tc.backupBefore : tc.config);
        EXPECT_EQ(ReadAll(Old()), ReadAll(Config()));
    }
    // A configuration file made anew takes the umask, as any new file does.
    fs::remove(Config());
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(ModeOf(Config()), 0644u);
    ::umask(oldMask);
}
#endif

// The backup is the configuration as the last start found it, and the
// program's own file: every start renews it, whatever an earlier run left it
// as, read-only included. It stays writable by its owner and never becomes
// wider open to others than the configuration.
TEST_F(ConfigFile, EveryStartRenewsTheBackup)
{
    const auto setMode = [](const fs::path &p, unsigned mode) {
        fs::permissions(p, static_cast<fs::perms>(mode));
    };
    Distinctive();
    struct Case {
        unsigned config;
        unsigned backupBefore; // 0: no backup yet
        unsigned backupAfter;
    } cases[] = {
        {0644, 0644, 0644}, {0444, 0, 0644},    {0444, 0444, 0644},
        {0644, 0444, 0644}, {0640, 0400, 0600}, {0400, 0444, 0600},
    };
    int run = 0;
    for (const Case &tc : cases) {
        char what[32];
        std::snprintf(what, sizeof what, "%03o over %03o", tc.config, tc.backupBefore);
        SCOPED_TRACE(what);
        // The run before saved a change.
        setMode(Config(), 0644);
        m->settings.alpha = 50 + ++run;
        ASSERT_TRUE(m->SaveConfiguration()) << m->lastSaveError;
        setMode(Config(), tc.config);
        if (fs::exists(Old()))
            setMode(Old(), 0644);
        if (!tc.backupBefore)
            fs::remove(Old());
        else if (!fs::exists(Old()))
            WriteAll(Old(), Bytes(5, 1));
        if (tc.backupBefore)
            setMode(Old(), tc.backupBefore);

        auto start = Fresh();
        ASSERT_TRUE(start->LoadConfiguration());
        EXPECT_TRUE(start->BackupConfiguration()) << start->lastSaveError;
        EXPECT_EQ(GetInt(ReadAll(Old()), ConfigLayout::kSettings + 20), 50 + run);
        EXPECT_EQ(ReadAll(Old()), ReadAll(Config()));
#ifdef _WIN32
        // Windows' one permission is the read-only flag; the backup never has it.
        EXPECT_NE(fs::status(Old()).permissions() & fs::perms::owner_write, fs::perms::none);
#else
        EXPECT_EQ(ModeOf(Old()), tc.backupAfter);
#endif
        EXPECT_EQ(Names(dir).size(), 2u);
    }
#ifndef _WIN32
    // Another user's read-only file under the backup's name is not ours.
    if (::geteuid() == 0) {
        const Bytes before = ReadAll(Old());
        setMode(Config(), 0644);
        m->settings.alpha = 99;
        ASSERT_TRUE(m->SaveConfiguration());
        GiveToOrdinaryUser(Old());
        setMode(Old(), 0444);
        EXPECT_FALSE(m->BackupConfiguration());
        EXPECT_NE(m->lastSaveError.find("read-only"), std::string::npos) << m->lastSaveError;
        EXPECT_EQ(ReadAll(Old()), before);
        EXPECT_EQ(ModeOf(Old()), 0444u);
    }
#endif
}

TEST_F(ConfigFile, ABackupThatIsASecondNameOfTheFileBecomesACopy)
{
    // An older version made the backup a hard link of the configuration.
    const Bytes saved = Distinctive();
    fs::remove(Old());
    fs::create_hard_link(Config(), Old());
    ASSERT_TRUE(m->BackupConfiguration());
    EXPECT_EQ(LinkCount(Config()), 1u);
    EXPECT_EQ(LinkCount(Old()), 1u);
    EXPECT_EQ(ReadAll(Old()), saved);
    SetField(m->header.title, "changed");
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(ReadAll(Old()), saved) << "a save reached the backup through a shared name";
}

#ifndef _WIN32
TEST_F(ConfigFile, AKilledSaveLeavesNothingAfterTheNextStart)
{
    const Bytes saved = Distinctive();
    ASSERT_TRUE(m->BackupConfiguration());
    // The file size limit kills the writer half way through the 2 MB, once
    // in a save and once in a backup.
    for (bool backup : {false, true}) {
        SCOPED_TRACE(backup ? "backup" : "save");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit noCore{0, 0}, small{1 << 20, 1 << 20};
            ::setrlimit(RLIMIT_CORE, &noCore);
            ::setrlimit(RLIMIT_FSIZE, &small);
            std::signal(SIGXFSZ, SIG_DFL);
            m->settings.alpha = 61;
            backup ? m->BackupConfiguration() : m->SaveConfiguration();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    }
    ASSERT_EQ(Names(dir).size(), 4u); // the two abandoned temporaries
    auto next = Fresh();
    ASSERT_TRUE(next->LoadConfiguration());
    EXPECT_EQ(Names(dir), (std::set<std::string>{"KVUI_Config.dat", "KVUI_Config_OLD.dat"}));
    EXPECT_EQ(ReadAll(Config()), saved);
    EXPECT_EQ(ReadAll(Old()), saved);
}
#endif

TEST_F(ConfigFile, OnlyOurOwnAbandonedTemporariesAreRemoved)
{
    const Bytes saved = Distinctive();
    const std::string dead = DeadPid();
#ifdef _WIN32
    ChildProcess child;
    const std::string running = child.Pid();
#else
    const std::string running = "1"; // init always runs
#endif
    struct Case {
        std::string name;
        bool removed;
    } cases[] = {
        {"KVUI_Config.dat.tmp" + dead + "-0", true},
        {"KVUI_Config_OLD.dat.tmp" + dead + "-12", true},
        {"KVUI_Config.dat.tmp" + running + "-0", false}, // its save may still be running
        {"KVUI_Config.dat.tmp" + std::to_string(OwnPid()) + "-0", false},
        {"KVUI_Config.dat.tmp" + dead, false},
        {"KVUI_Config.dat.tmp" + dead + "-0.keep", false},
        {"KVUI_Config.dat.tmp" + dead + "-", false},
        {"KVUI_Config.dat.tmp-" + dead + "-0", false},
        {"KVUI_Config.dat.tmpx" + dead + "-0", false},
        {"Notes.dat.tmp" + dead + "-0", false},
    };
    for (const Case &tc : cases)
        WriteAll(dir / tc.name, Bytes(100, 7));
    // Named like ours, but a folder, a link to the configuration and, for
    // root, another user's file: none of them is ours to remove.
    const fs::path folder = dir / ("KVUI_Config.dat.tmp" + dead + "-1");
    fs::create_directory(folder);
#ifndef _WIN32
    const fs::path link = dir / ("KVUI_Config.dat.tmp" + dead + "-2");
    const fs::path foreign = dir / ("KVUI_Config.dat.tmp" + dead + "-3");
    fs::create_symlink(Config(), link);
    WriteAll(foreign, Bytes(100, 7));
    if (::geteuid() == 0)
        GiveToOrdinaryUser(foreign);
#endif

    ASSERT_TRUE(Fresh()->LoadConfiguration());
    for (const Case &tc : cases)
        EXPECT_EQ(fs::exists(dir / tc.name), !tc.removed) << tc.name;
    EXPECT_TRUE(fs::is_directory(folder));
#ifndef _WIN32
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::exists(foreign), ::geteuid() == 0);
#endif
    EXPECT_EQ(ReadAll(Config()), saved);
}

TEST_F(ConfigFile, OnlyAPlausibleVersionMakesAFileWhole)
{
    const Bytes backup = Distinctive(); // alpha 200
    Bytes later = backup;
    const int32_t alpha = 99;
    std::memcpy(later.data() + ConfigLayout::kSettings + 20, &alpha, 4);
    // 1 to 118 is every version that was or will be written before this one;
    // a file is read by its truncated version, so 118.9 reads as 118.
    struct Case {
        const char *what;
        float version;
        bool whole;
    } cases[] = {
        {"0", 0.0f, false},
        {"0.5", 0.5f, false},
        {"-1", -1.0f, false},
        {"NaN", std::numeric_limits<float>::quiet_NaN(), false},
        {"+inf", std::numeric_limits<float>::infinity(), false},
        {"1", 1.0f, true},
        {"96.5", 96.5f, true},
        {"115", 115.0f, true},
        {"118", 118.0f, true},
        {"118.9", 118.9f, true},
        {"119", 119.0f, false},
        {"120", 120.0f, false},
        {"1e9", 1e9f, false},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.what);
        Bytes file = later;
        PutFloat(file, 400, tc.version);
        WriteAll(Config(), file);
        WriteAll(Old(), backup);
        auto loaded = Fresh();
        ASSERT_TRUE(loaded->LoadConfiguration());
        EXPECT_EQ(loaded->settings.alpha, tc.whole ? 99 : 200);
        EXPECT_EQ(loaded->BackupConfiguration(), tc.whole);
        EXPECT_EQ(ReadAll(Old()), tc.whole ? file : backup);
        // As the only file it is loaded whatever its version says.
        fs::remove(Old());
        auto alone = Fresh();
        ASSERT_TRUE(alone->LoadConfiguration());
        EXPECT_EQ(alone->settings.alpha, 99);
    }
    // Some file systems leave a crashed write's full length in zeros.
    WriteAll(Config(), Bytes(ConfigLayout::kFileSize, 0));
    WriteAll(Old(), backup);
    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_EQ(loaded->settings.alpha, 200);
    EXPECT_FALSE(loaded->BackupConfiguration());
    EXPECT_EQ(ReadAll(Old()), backup);
}

TEST_F(ConfigFile, EachTailFieldChangedAloneIsSavedAndLoaded)
{
    using namespace ConfigLayout;
    // Distinctive has the colours switch and the game section on, the button
    // section shut and the clock showing at (17, 23).
    const Bytes base = Distinctive();
    struct Case {
        const char *field;
        std::function<void(KVUIOperationClass &)> change;
        std::function<int64_t(const KVUIOperationClass &)> value;
        std::size_t at, size; // the bytes of the file the change may touch
    } cases[] = {
        {"colours switch", [](auto &o) { o.useWindowsColours = false; },
         [](const auto &o) { return int64_t{o.useWindowsColours}; }, kUseWindowsColours, 1},
        {"game section", [](auto &o) { o.gameSectionOpen = false; },
         [](const auto &o) { return int64_t{o.gameSectionOpen}; }, kGameSectionOpen, 1},
        {"clock hidden", [](auto &o) { o.clockVisible = false; },
         [](const auto &o) { return int64_t{o.clockVisible}; }, kClockVisible, 1},
        // Only the top byte of the unaligned int differs.
        {"clock left", [](auto &o) { o.clockLeft = 17 + (1 << 24); },
         [](const auto &o) { return int64_t{o.clockLeft}; }, kClockLeft, 4},
        {"clock left negative", [](auto &o) { o.clockLeft = -1234; },
         [](const auto &o) { return int64_t{o.clockLeft}; }, kClockLeft, 4},
        {"clock top", [](auto &o) { o.clockTop = std::numeric_limits<int32_t>::max(); },
         [](const auto &o) { return int64_t{o.clockTop}; }, kClockTop, 4},
        {"clock top negative", [](auto &o) { o.clockTop = -23; },
         [](const auto &o) { return int64_t{o.clockTop}; }, kClockTop, 4},
        {"button section", [](auto &o) { o.buttonSectionOpen = true; },
         [](const auto &o) { return int64_t{o.buttonSectionOpen}; }, kButtonSectionOpen, 1},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.field);
        WriteAll(Config(), base);
        auto edited = Fresh();
        ASSERT_TRUE(edited->LoadConfiguration());
        const int64_t before = tc.value(*edited);
        tc.change(*edited);
        ASSERT_NE(tc.value(*edited), before);
        ASSERT_TRUE(edited->SaveConfiguration()) << edited->lastSaveError;
        const Bytes saved = ReadAll(Config());
        ASSERT_EQ(saved.size(), base.size());
        // The field's own bytes changed, and nothing else.
        std::size_t firstChange = saved.size(), lastChange = 0;
        for (std::size_t i = 0; i < saved.size(); ++i)
            if (saved[i] != base[i]) {
                firstChange = std::min(firstChange, i);
                lastChange = i;
            }
        ASSERT_LT(firstChange, saved.size()) << "the save left the file as it was";
        EXPECT_GE(firstChange, tc.at);
        EXPECT_LT(lastChange, tc.at + tc.size);
        // Loaded back, the model holds the change, and saving it again
        // writes the very same bytes.
        auto loaded = Fresh();
        ASSERT_TRUE(loaded->LoadConfiguration());
        EXPECT_EQ(tc.value(*loaded), tc.value(*edited));
        ASSERT_TRUE(loaded->SaveConfiguration());
        EXPECT_EQ(ReadAll(Config()), saved);
    }
}

TEST_F(ConfigFile, TheTwentiethCategorySlotIsLikeAnyOther)
{
    m->WriteDefaults();
    for (int c = 2; c < kMaxCategories - 1; ++c) {
        m->categories[c].type = ctApplications;
        SetField(m->categories[c].name, "c" + std::to_string(c));
        SetField(m->categories[c].links[0].path, "/bin/true");
        m->categories[c].links[0].used = 1;
    }
    const int last = m->FirstFreeCategory();
    ASSERT_EQ(last, kMaxCategories - 1);
    CategoryRecord &cat = m->categories[last];
    cat.type = ctGames;
    SetField(cat.name, "Twentieth");
    SetField(cat.description, std::string(249, 'd'));
    cat.colour = {1, 2, 3};
    cat.linkColour = {4, 5, 6};
    cat.lockedOpen = true;
    cat.expanded = false;
    for (int l = 0; l < kMaxLinks; ++l) {
        SetField(cat.links[l].name, "game" + std::to_string(l));
        SetField(cat.links[l].path, std::string(1999, static_cast<char>('a' + l % 26)));
        cat.links[l].type = ctGames;
        cat.links[l].used = 1;
    }
    // Every slot is taken: there is none for a 21st.
    EXPECT_EQ(m->FirstFreeCategory(), -1);
    EXPECT_EQ(m->CategoryCount(), kMaxCategories);
    m->settings.alpha = 77;
    ASSERT_TRUE(m->SaveConfiguration());
    const Bytes saved = ReadAll(Config());
    // The last record ends where the window settings begin.
    const std::size_t at = ConfigLayout::kSettings - sizeof(CategoryRecord);
    EXPECT_STREQ(reinterpret_cast<const char *>(saved.data() + at + offsetof(CategoryRecord, name)),
                 "Twentieth");
    EXPECT_EQ(GetInt(saved, at + offsetof(CategoryRecord, type)), ctGames);
    EXPECT_EQ(GetInt(saved, ConfigLayout::kSettings + offsetof(WindowSettings, alpha)), 77);

    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_EQ(std::memcmp(&loaded->categories[last], &cat, sizeof cat), 0);
    EXPECT_EQ(loaded->LinkCount(last), kMaxLinks);
    EXPECT_EQ(loaded->settings.alpha, 77);

    // Deleted, as the category list deletes its last one: the slot is
    // free again and nothing next to it changed.
    loaded->ClearCategory(last);
    ASSERT_TRUE(loaded->SaveConfiguration());
    auto again = Fresh();
    ASSERT_TRUE(again->LoadConfiguration());
    EXPECT_EQ(again->FirstFreeCategory(), last);
    EXPECT_EQ(again->categories[last].type, ctUnused);
    EXPECT_EQ(again->LinkCount(last), 0);
    EXPECT_EQ(std::memcmp(again->categories, m->categories, sizeof(CategoryRecord) * last), 0);
    EXPECT_EQ(std::memcmp(&again->settings, &m->settings, sizeof(WindowSettings)), 0);
}

// Watches the file-system steps of the saves made while it lives, with what
// the file the step names and the save's target held right after each step.
struct StepLog : filesafety::StepObserver {
    struct Entry {
        filesafety::Step step;
        std::string path, to;
        bool ok;
        Bytes pathHeld, targetHeld;
    };
    fs::path target;
    std::vector<Entry> entries;
    filesafety::StepObserver *before;

    explicit StepLog(fs::path watched) : target(std::move(watched)), before(filesafety::SetStepObserver(this))
    {
    }
    ~StepLog() override { filesafety::SetStepObserver(before); }
    void Done(filesafety::Step step, const std::string &path, const std::string &to, bool ok) override
    {
        const bool folder = step == filesafety::Step::SyncFolder;
        entries.push_back({step, path, to, ok, folder ? Bytes() : ReadAll(path), ReadAll(target)});
    }
    std::vector<filesafety::Step> Steps() const
    {
        std::vector<filesafety::Step> steps;
        for (const Entry &e : entries)
            steps.push_back(e.step);
        return steps;
    }
    const Entry &Of(filesafety::Step step) const
    {
        for (const Entry &e : entries)
            if (e.step == step)
                return e;
        throw std::runtime_error("no such step");
    }
};

TEST_F(ConfigFile, ASaveSyncsItsDataBeforeTheRenameAndTheFolderAfterIt)
{
    using filesafety::Step;
    Distinctive();
    struct Case {
        const char *what;
        fs::path target;
        std::function<bool()> save;
    } cases[] = {
        {"save", Config(), [&] { return m->SaveConfiguration(); }},
        {"backup", Old(), [&] { return m->BackupConfiguration(); }},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.what);
        const Bytes old = ReadAll(tc.target); // empty: no backup yet
        m->settings.alpha += 1;
        const Bytes wanted = tc.target == Config() ? Bytes() : ReadAll(Config());
        StepLog log(tc.target);
        ASSERT_TRUE(tc.save());
        const Bytes saved = ReadAll(tc.target);
        if (!wanted.empty()) {
            EXPECT_EQ(saved, wanted);
        }
        EXPECT_NE(saved, old);
        ASSERT_EQ(log.Steps(), (std::vector<Step>{Step::CreateTemporary, Step::Write, Step::SyncFile,
                                                  Step::Close, Step::Rename, Step::SyncFolder}));
        for (const StepLog::Entry &e : log.entries)
            EXPECT_TRUE(e.ok) << static_cast<int>(e.step);
        // One temporary beside the target goes through every step up to the rename.
        const std::string tmp = log.entries[0].path;
        EXPECT_EQ(fs::path(tmp).parent_path(), dir);
        EXPECT_NE(tmp, tc.target.string());
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_EQ(log.entries[i].path, tmp) << i;
        // The data synced is the whole new file, while the target still
        // holds the old one; only the rename puts it there.
        EXPECT_EQ(log.Of(Step::SyncFile).pathHeld, saved);
        EXPECT_EQ(log.Of(Step::SyncFile).targetHeld, old);
        EXPECT_EQ(fs::path(log.Of(Step::Rename).to), tc.target);
        EXPECT_EQ(log.Of(Step::Rename).targetHeld, saved);
        // Then the folder, which holds the new name, is synced.
        EXPECT_EQ(fs::path(log.Of(Step::SyncFolder).path), dir);
        EXPECT_FALSE(fs::exists(tmp));
    }
    // Each log took itself out again: by default nothing watches the saves.
    EXPECT_EQ(filesafety::SetStepObserver(nullptr), nullptr);
}

TEST_F(ConfigFile, StepsOfAFailedSaveAndOfASaveInPlace)
{
    using filesafety::Step;
    const Bytes first = Distinctive();
    const fs::path second = dir / "second-name";
    struct Case {
        const char *what;
        bool hardLinked, produces;
        std::vector<Step> steps;
        bool saved;
    } cases[] = {
        // The producer fails: the temporary goes, nothing is renamed or synced.
        {"failed", false, false, {Step::CreateTemporary, Step::Write, Step::Close, Step::Remove}, false},
        // A file with a second name is written through: synced before it is closed.
        {"in place",
         true,
         true,
         {Step::OpenInPlace, Step::Write, Step::Truncate, Step::SyncFile, Step::Close},
         true},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.what);
        fs::remove(second);
        if (tc.hardLinked)
            fs::create_hard_link(Config(), second);
        const Bytes replacement(1000, 42);
        StepLog log(Config());
        std::string error;
        const bool ok = filesafety::ReplaceContents(
            Utf8(Config()),
            [&](int fd) {
                return tc.produces && filesafety::WriteAll(fd, replacement.data(), replacement.size());
            },
            std::nullopt, error);
        EXPECT_EQ(ok, tc.saved) << error;
        EXPECT_EQ(log.Steps(), tc.steps);
        EXPECT_EQ(ReadAll(Config()), tc.saved ? replacement : first);
        if (tc.saved) {
            EXPECT_EQ(log.Of(Step::SyncFile).pathHeld, replacement);
        } else {
            EXPECT_FALSE(log.Of(Step::Write).ok);
            EXPECT_FALSE(fs::exists(log.Of(Step::Remove).path));
        }
    }
}

TEST_F(ConfigFile, WithoutAFolderNothingIsWritten)
{
#ifdef _WIN32
    // Windows removes no folder a program is in: the model is told of none.
    auto orphan = std::make_unique<KVUIOperationClass>();
    orphan->directory.clear();
#else
    // The folder the program started in was removed before it asked for it.
    const fs::path start = fs::current_path();
    fs::create_directory(dir / "gone");
    fs::current_path(dir / "gone");
    fs::remove(dir / "gone");
    auto orphan = std::make_unique<KVUIOperationClass>();
    fs::current_path(start);
    EXPECT_EQ(orphan->directory, "");
#endif

    const bool rootHadOne = fs::exists("/KVUI_Config.dat") || fs::exists("/KVUI_Config_OLD.dat");
    EXPECT_FALSE(orphan->LoadConfiguration());
    orphan->WriteDefaults();
    EXPECT_FALSE(orphan->SaveConfiguration());
    EXPECT_FALSE(orphan->lastSaveError.empty());
    EXPECT_FALSE(orphan->BackupConfiguration());
    if (!rootHadOne) {
        EXPECT_FALSE(fs::exists("/KVUI_Config.dat") || fs::exists("/KVUI_Config_OLD.dat"));
    }

    // Given a folder, the same model saves and the reason is gone.
    orphan->directory = Utf8(dir);
    EXPECT_TRUE(orphan->SaveConfiguration());
    EXPECT_EQ(orphan->lastSaveError, "");
}

} // namespace
