// A platform that hands every call to another one. A decorator (the test
// half's fault injection, a recorder) derives from it and overrides only the
// calls it changes.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace plat {

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(std::shared_ptr<Platform> inner) : inner_(std::move(inner)) {}

  Platform& Inner() { return *inner_; }
  const Platform& Inner() const { return *inner_; }
  std::shared_ptr<Platform> InnerShared() const { return inner_; }

  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override {
    return inner_->CreateFile(path, access, share, disposition, flags);
  }
  bool ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) override {
    return inner_->ReadFile(file, buffer, count, read);
  }
  bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) override {
    return inner_->WriteFile(file, buffer, count, written);
  }
  bool SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                      std::uint64_t* position) override {
    return inner_->SetFilePointer(file, offset, method, position);
  }
  bool GetFileSize(HANDLE file, std::uint64_t* size) override {
    return inner_->GetFileSize(file, size);
  }
  bool FlushFile(HANDLE file) override { return inner_->FlushFile(file); }
  bool FlushFolder(const char* path) override { return inner_->FlushFolder(path); }
  bool TryLockFile(HANDLE file) override { return inner_->TryLockFile(file); }
  bool SetEndOfFile(HANDLE file) override { return inner_->SetEndOfFile(file); }
  HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override {
    return inner_->FindFirstFile(pattern, data);
  }
  bool FindNextFile(HANDLE search, WIN32_FIND_DATA* data) override {
    return inner_->FindNextFile(search, data);
  }
  DWORD GetFileAttributes(const char* path) override { return inner_->GetFileAttributes(path); }
  bool SetFileAttributes(const char* path, DWORD attributes) override {
    return inner_->SetFileAttributes(path, attributes);
  }
  bool DeleteFile(const char* path) override { return inner_->DeleteFile(path); }
  bool CreateDirectory(const char* path) override { return inner_->CreateDirectory(path); }
  bool RemoveDirectory(const char* path) override { return inner_->RemoveDirectory(path); }
  bool MoveFile(const char* from, const char* to, bool replace) override {
    return inner_->MoveFile(from, to, replace);
  }
  bool ReplaceEmptyFolder(const char* from, const char* to) override {
    return inner_->ReplaceEmptyFolder(from, to);
  }
  DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                                char* out, DWORD size, const char* path) override {
    return inner_->GetPrivateProfileString(section, key, defaultText, out, size, path);
  }
  bool ResolveHostPath(const char* path, std::string* host) override {
    return inner_->ResolveHostPath(path, host);
  }
  DWORD GetLogicalDrives() override { return inner_->GetLogicalDrives(); }
  UINT GetDriveType(const char* root) override { return inner_->GetDriveType(root); }
  bool GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller, std::uint64_t* total,
                          std::uint64_t* totalFree) override {
    return inner_->GetDiskFreeSpaceEx(root, freeToCaller, total, totalFree);
  }
  DWORD WNetOpenEnum(DWORD scope, DWORD type, DWORD usage, const NETRESOURCE* container,
                     HANDLE* enumeration) override {
    return inner_->WNetOpenEnum(scope, type, usage, container, enumeration);
  }
  DWORD WNetEnumResource(HANDLE enumeration, DWORD* count, void* buffer,
                         DWORD* bufferSize) override {
    return inner_->WNetEnumResource(enumeration, count, buffer, bufferSize);
  }
  DWORD WNetCloseEnum(HANDLE enumeration) override { return inner_->WNetCloseEnum(enumeration); }
  DWORD WNetGetConnection(const char* localName, char* remoteName, DWORD* length) override {
    return inner_->WNetGetConnection(localName, remoteName, length);
  }
  HANDLE CreateThread(ThreadProc proc, void* arg) override {
    return inner_->CreateThread(proc, arg);
  }
  DWORD WaitForSingleObject(HANDLE thread, DWORD milliseconds) override {
    return inner_->WaitForSingleObject(thread, milliseconds);
  }
  bool TerminateThread(HANDLE thread, DWORD exitCode) override {
    return inner_->TerminateThread(thread, exitCode);
  }
  bool GetExitCodeThread(HANDLE thread, DWORD* code) override {
    return inner_->GetExitCodeThread(thread, code);
  }
  void Sleep(DWORD milliseconds) override { inner_->Sleep(milliseconds); }
  void GetLocalTime(SYSTEMTIME* time) override { inner_->GetLocalTime(time); }
  std::uint32_t GetTickCount() override { return inner_->GetTickCount(); }
  HANDLE CreateFileMapping(const char* name, DWORD size) override {
    return inner_->CreateFileMapping(name, size);
  }
  HANDLE OpenFileMapping(const char* name) override { return inner_->OpenFileMapping(name); }
  void* MapViewOfFile(HANDLE mapping) override { return inner_->MapViewOfFile(mapping); }
  bool UnmapViewOfFile(void* view) override { return inner_->UnmapViewOfFile(view); }

 private:
  std::shared_ptr<Platform> inner_;
};

}  // namespace plat
