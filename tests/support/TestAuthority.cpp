#include "tests/support/TestAuthority.h"

#include "tests/support/RunProgram.h"

namespace {

bool Openssl(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "/usr/bin/openssl");
  return RunProgram(arguments).exitCode == 0;
}

}  // namespace

TestAuthority::TestAuthority() : certificate_(dir_.PathOf("authority.crt")) {
  ready_ = Openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                    "-subj", "/CN=Solane Test Authority", "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign", "-keyout", dir_.PathOf("authority.key"),
                    "-out", certificate_});
}

std::optional<TestAuthority::Issued> TestAuthority::Issue(const std::string& name, const std::string& altName) const {
  if (!ready_) return std::nullopt;
  const Issued issued{dir_.PathOf(name + ".crt"), dir_.PathOf(name + ".key")};
  const std::string request = dir_.PathOf(name + ".csr");
  const bool made =
      Openssl({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-subj",
               "/CN=" + name, "-addext", "subjectAltName=" + altName, "-keyout", issued.key, "-out", request}) &&
      Openssl({"x509", "-req", "-in", request, "-CA", certificate_, "-CAkey", dir_.PathOf("authority.key"),
               "-set_serial", "2", "-days", "2", "-copy_extensions", "copy", "-out", issued.certificate});
  if (!made) return std::nullopt;
  return issued;
}
