// Tests of loading modules as data: host paths, local and share paths on the network,
// handles, and files that are no module.

#include "platform/messages/library.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/messages/format_message.h"
#include "platform/network/last_error.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::messages {
namespace {

namespace fs = std::filesystem;

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    network::Network net(temp_.Path() / "net", "LOCAL");
    ASSERT_TRUE(net.CreateMachineFolder("LOCAL"));
    ASSERT_TRUE(net.CreateMachineFolder("SRV01"));
    current_.emplace(net);
    fs::path folder = temp_.Path() / "net" / "SRV01" / "drives" / "C" / "WINNT" / "System32";
    fs::create_directories(folder);
    fs::copy_file(SAMPLE_DLL, folder / "sample.dll");
    fs::create_directories(temp_.Path() / "net" / "LOCAL" / "drives" / "C" / "Msg");
    fs::copy_file(SAMPLE_DLL, temp_.Path() / "net" / "LOCAL" / "drives" / "C" / "Msg" / "s.dll");
  }

  // Loads and formats category 1; returns the text or "<error N>".
  std::string CategoryOne(const char* path) {
    HMODULE module = LoadLibraryExA(path, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (module == nullptr) return "<error " + std::to_string(GetLastError()) + ">";
    char buffer[64] = {};
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module, 1, 0, buffer, sizeof buffer, nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    return length ? std::string(buffer, length) : "<format error>";
  }

  void WriteFile(const fs::path& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
  }

  tamsel::testing::ScopedTempDir temp_;
  std::optional<network::ScopedCurrentNetwork> current_;
};

TEST_F(LibraryTest, LoadsFromHostSharedAndLocalPaths) {
  EXPECT_EQ(CategoryOne(SAMPLE_DLL), "General\r\n");
  // Share path: matched without regard to case, as Windows does.
  EXPECT_EQ(CategoryOne("\\\\SRV01\\C$\\WINNT\\System32\\sample.dll"), "General\r\n");
  EXPECT_EQ(CategoryOne("\\\\srv01\\c$\\winnt\\system32\\SAMPLE.DLL"), "General\r\n");
  // Local path of the local machine.
  EXPECT_EQ(CategoryOne("C:\\Msg\\s.dll"), "General\r\n");
}

TEST_F(LibraryTest, PathErrors) {
  EXPECT_EQ(CategoryOne("\\\\SRV01\\C$\\WINNT\\System32\\missing.dll"), "<error 2>");
  EXPECT_EQ(CategoryOne("\\\\NOSUCH\\C$\\x.dll"),
            "<error " + std::to_string(ERROR_BAD_NETPATH) + ">");
  fs::path srv = temp_.Path() / "net" / "SRV01";
  WriteFile(srv / "OFFLINE", "");
  EXPECT_EQ(CategoryOne("\\\\SRV01\\C$\\WINNT\\System32\\sample.dll"),
            "<error " + std::to_string(ERROR_BAD_NETPATH) + ">");
  fs::remove(srv / "OFFLINE");
  EXPECT_EQ(CategoryOne((temp_.Path() / "nothing.dll").c_str()), "<error 2>");
  EXPECT_EQ(CategoryOne(""), "<error 87>");
  EXPECT_EQ(LoadLibraryExA(nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  int fileHandle = 0;
  EXPECT_EQ(LoadLibraryExA(SAMPLE_DLL, &fileHandle, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(LibraryTest, FilesThatAreNoModule) {
  fs::path text = temp_.Path() / "notes.txt";
  WriteFile(text, "just some text, not an image");
  EXPECT_EQ(CategoryOne(text.c_str()), "<error 193>");
  fs::path empty = temp_.Path() / "empty.dll";
  WriteFile(empty, "");
  EXPECT_EQ(CategoryOne(empty.c_str()), "<error 193>");
  EXPECT_EQ(CategoryOne(temp_.Path().c_str()), "<error 5>");  // a folder
  fs::path fifo = temp_.Path() / "pipe.dll";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(CategoryOne(fifo.c_str()), "<error 193>");  // refused at once, never waited on
  // A truncated DLL fails to load rather than half-loading.
  std::ifstream in(SAMPLE_DLL, std::ios::binary);
  std::string dll((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::path truncated = temp_.Path() / "truncated.dll";
  WriteFile(truncated, dll.substr(0, dll.size() - 100));
  EXPECT_EQ(CategoryOne(truncated.c_str()), "<error 193>");
}

TEST_F(LibraryTest, ProgramWithoutTableLoadsButHasNoMessages) {
  HMODULE module = LoadLibraryExA("/bin/sh", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << GetLastError();
  char buffer[16];
  EXPECT_EQ(
      FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module, 1, 0, buffer, sizeof buffer, nullptr),
      0u);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
  FreeLibrary(module);
}

TEST_F(LibraryTest, ModuleHandleFreesOnScopeExit) {
  HMODULE raw = nullptr;
  {
    Win32Error error;
    ModuleHandle handle = ModuleHandle::Load(SAMPLE_DLL, error);
    ASSERT_TRUE(handle);
    raw = handle.Get();
    ModuleHandle moved = std::move(handle);
    EXPECT_FALSE(handle);
    EXPECT_EQ(moved.Get(), raw);
  }
  EXPECT_FALSE(FreeLibrary(raw));  // already released by the owner
  Win32Error error = ERROR_SUCCESS;
  ModuleHandle missing = ModuleHandle::Load("/nonexistent/x.dll", error);
  EXPECT_FALSE(missing);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace tamsel::platform::messages
