#pragma once
// An HTTP server for tests (tests/support/fixture_server.py) on 127.0.0.1 and a free port,
// serving Root() with an ETag, a Last-Modified date and ranges; single files can be told to
// misbehave (FileBehaviour), and every request is logged and can be read back.
//
//   FixtureServer server;
//   ASSERT_TRUE(server.IsRunning());
//   server.PutFile("patch/Update.NFO", "...");
//   server.SetBehaviour("patch/Update.NFO", {.status = 404});
//   ... request http://127.0.0.1:<Port()>/patch/Update.NFO ...
//   server.Requests()[0].Header("User-Agent")
//
// Starting it also makes requests to 127.0.0.1 bypass any proxy of the environment.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ServerProcess.h"

// How the server answers for one file. Unset fields keep the normal behaviour.
struct FileBehaviour {
  int status = 200;                      // any other status answers a short error page
  std::optional<int64_t> stallAfter;     // bytes sent before the server goes silent (keeps the connection)
  std::optional<int64_t> closeAfter;     // bytes sent before the server closes the connection
  std::optional<int64_t> contentLength;  // the length announced instead of the real one
  bool omitLength = false;               // no Content-Length; the body ends with the connection
  int64_t bytesPerSecond = 0;            // 0 = as fast as possible
  bool endless = false;                  // the file and then filler bytes, never ending
  int headStatus = 0;                    // HEAD only: answered with this status instead
  bool headOmitsLength = false;          // HEAD only: no Content-Length
  bool ignoreRange = false;              // a Range request gets the whole file
  std::optional<int64_t> rangeTotal;     // the file size a 206 answer states instead of the real one
  bool silent = false;                   // requests are taken and never answered
  std::string etag;                      // the entity tag given instead of the file's own
  int times = 0;                         // holds for this many GETs, then normal serving; 0 = always
};

struct PostedPart {
  std::string name;      // the form field
  std::string fileName;  // empty for a plain value
  std::string bytes;
};

struct RecordedRequest {
  std::string method;
  std::string target;       // the request target exactly as sent (percent-encoding kept)
  std::string decodedPath;  // the target's path, percent-decoded
  std::vector<std::pair<std::string, std::string>> headers;
  std::vector<PostedPart> parts;  // of a multipart/form-data POST

  // The value of a header (name compared without letter case), empty when absent.
  std::string Header(const std::string& name) const;
};

class FixtureServer : public FolderServer {
 public:
  FixtureServer() : FolderServer("fixture_server.py") {}

  // "127.0.0.1:<port>", the host text a session is given.
  std::string Host() const { return "127.0.0.1:" + std::to_string(Port()); }
  // Sets how `name` is answered; the default FileBehaviour restores normal serving.
  bool SetBehaviour(const std::string& name, const FileBehaviour& behaviour);
  // Forgets every behaviour and the request log.
  bool Reset();
  // Every request received so far, in order.
  std::vector<RecordedRequest> Requests() const;
  // The decoded paths asked for with GET so far, in order, each without `prefix` ("/patch/").
  std::vector<std::string> Fetched(const std::string& prefix = "") const;
};
