// Measures the launcher's heavy paths on their own: one HTTP download, one archive unpacked,
// one file digested; lays out an installation whose update finds every pack current, for the
// launcher itself to check. Prints "seconds <s>" and "peak <bytes>" for scripts/bench to
// compare; "passes" prints its own lines.
//
//   solane_bench download <host:port> <remote path> <local file>
//   solane_bench ftp <port> <user> <password> <remote path> <local file>   (on 127.0.0.1)
//   solane_bench unzip <archive> <folder>
//   solane_bench md5 <file>
//   solane_bench install <folder> <host:port> <pack count> <bytes per pack> <Update.NFO to write> [nodigest]
//   solane_bench passes <folder> <entry count>...

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/PackBench.h"
#include "download/TransferSession.h"
#include "download/ZipArchive.h"
#include "patch/Md5.h"
#include "platform/ProcessMemory.h"

namespace {

bool Download(const std::string& host, const std::string& remotePath, const std::string& localPath) {
  InitTransferLibrary();
  CTransferSession session;
  session.SetHost(host);
  session.SetProtocol(CTransferSession::kProtocolHttp);
  if (session.Download(remotePath, localPath)) return true;
  std::fprintf(stderr, "download failed: error %d\n", session.GetErrorCode());
  return false;
}

bool FtpDownload(const std::string& port, const std::string& user, const std::string& password,
                 const std::string& remotePath, const std::string& localPath) {
  InitTransferLibrary();
  CTransferSession session;
  session.SetHost("127.0.0.1");
  session.SetPort(std::atoi(port.c_str()));
  session.SetUserName(user);
  session.SetPassword(password);
  session.SetProtocol(CTransferSession::kProtocolFtp);
  if (session.Connect() && session.Download(remotePath, localPath)) return true;
  std::fprintf(stderr, "ftp download failed: error %d\n", session.GetErrorCode());
  return false;
}

bool Unzip(const std::string& archivePath, const std::string& folder) {
  std::unique_ptr<ZipArchive> archive = ZipArchive::Open(archivePath);
  if (!archive) return false;
  ZipEntryInfo summary;
  bool ok = archive->SetBaseDir(folder) == kZipSuccess && archive->GetEntry(-1, summary) == kZipSuccess;
  for (int32_t index = 0; ok && index < summary.index; ++index) {
    ZipEntryInfo entry;
    ok = archive->GetEntry(index, entry) == kZipSuccess && archive->ExtractEntry(index, entry.name) == kZipSuccess;
    if (!ok) std::fprintf(stderr, "entry %d failed\n", index);
  }
  archive->Close();
  return ok;
}

bool Digest(const std::string& path) {
  const std::string digest = Md5OfFile(path);
  std::printf("digest %s\n", digest.c_str());
  return !digest.empty();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const auto start = std::chrono::steady_clock::now();
  bool ok = false;
  if (command == "download" && argc == 5) {
    ok = Download(argv[2], argv[3], argv[4]);
  } else if (command == "ftp" && argc == 7) {
    ok = FtpDownload(argv[2], argv[3], argv[4], argv[5], argv[6]);
  } else if (command == "unzip" && argc == 4) {
    ok = Unzip(argv[2], argv[3]);
  } else if (command == "md5" && argc == 3) {
    ok = Digest(argv[2]);
  } else if (command == "install" && (argc == 7 || (argc == 8 && std::string(argv[7]) == "nodigest"))) {
    ok = PrepareCurrentInstallation(argv[2], argv[3], static_cast<uint32_t>(std::stoul(argv[4])),
                                    std::stoull(argv[5]), argv[6], argc == 7);
  } else if (command == "passes" && argc >= 4) {
    std::vector<uint32_t> counts;
    for (int i = 3; i < argc; ++i) counts.push_back(static_cast<uint32_t>(std::stoul(argv[i])));
    ok = MeasurePackPasses(argv[2], counts);
  } else {
    std::fprintf(stderr,
                 "usage: solane_bench download <host> <path> <file> | ftp <port> <user> <password> <path> <file> | unzip <archive> <folder> | md5 <file>"
                 " | install <folder> <host> <count> <bytes> <nfo> [nodigest] | passes <folder> <count>...\n");
    return 2;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("seconds %.3f\n", elapsed.count());
  std::printf("peak %llu\n", static_cast<unsigned long long>(platform::PeakResidentBytes().value_or(0)));
  return ok ? 0 : 1;
}
