#include "tools/publish/Signing.h"

// The publisher runs on the Linux build host only: the key file is written with POSIX calls.
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

struct SigningKey::Key {
  EVP_PKEY* pkey = nullptr;
  ~Key() { EVP_PKEY_free(pkey); }
};

namespace {

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

std::optional<std::string> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Creates `path` with `mode` and writes `bytes`; never opens a file that is already there.
std::string WriteNewFile(const std::string& path, const std::string& bytes, mode_t mode) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return path + ": " + std::strerror(errno);
  // The mode asked for at creation is narrowed by the umask, never widened; this sets it exactly.
  bool ok = fchmod(fd, mode) == 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written <= 0) ok = false;
    else done += static_cast<size_t>(written);
  }
  const int writeError = errno;
  if (close(fd) != 0) ok = false;
  if (ok) return {};
  unlink(path.c_str());
  return path + ": cannot be written: " + std::strerror(writeError);
}

std::optional<ReleaseKey> PublicKeyOf(EVP_PKEY* pkey) {
  std::array<uint8_t, ReleaseKey::kSize> bytes;
  size_t length = bytes.size();
  if (EVP_PKEY_get_raw_public_key(pkey, bytes.data(), &length) != 1 || length != bytes.size()) return std::nullopt;
  return ReleaseKey::FromBytes(bytes);
}

}  // namespace

KeyPairResult GenerateKeyPair(const std::string& folder) {
  KeyPairResult result;
  result.privateKeyPath = (fs::path(folder) / kPrivateKeyFileName).string();
  result.publicKeyPath = (fs::path(folder) / kPublicKeyFileName).string();
  std::error_code code;
  fs::create_directories(folder, code);
  for (const std::string& path : {result.privateKeyPath, result.publicKeyPath}) {
    if (fs::exists(path, code)) {
      result.error = path + " exists already; keygen never replaces a key";
      return result;
    }
  }
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"),
                                                           &EVP_PKEY_free);
  Bio pem(BIO_new(BIO_s_mem()));
  if (!pkey || !pem || PEM_write_bio_PrivateKey(pem.get(), pkey.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    result.error = "the key pair could not be made";
    return result;
  }
  const std::optional<ReleaseKey> publicKey = PublicKeyOf(pkey.get());
  char* pemData = nullptr;
  const long pemLength = BIO_get_mem_data(pem.get(), &pemData);
  if (!publicKey || pemLength <= 0) {
    result.error = "the key pair could not be made";
    return result;
  }
  result.publicKeyBase64 = publicKey->ToBase64();
  result.error = WriteNewFile(result.privateKeyPath, std::string(pemData, static_cast<size_t>(pemLength)), 0600);
  if (result.error.empty()) {
    result.error = WriteNewFile(result.publicKeyPath, result.publicKeyBase64 + "\n", 0644);
    if (!result.error.empty()) unlink(result.privateKeyPath.c_str());
  }
  return result;
}

std::optional<SigningKey> SigningKey::Load(const std::string& path, std::string& error,
                                           std::vector<std::string>& warnings) {
  const std::optional<std::string> text = ReadWhole(path);
  if (!text) {
    error = "cannot read the signing key " + path;
    return std::nullopt;
  }
  Bio bio(BIO_new_mem_buf(text->data(), static_cast<int>(text->size())));
  auto key = std::make_shared<Key>();
  if (bio) key->pkey = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr);
  if (key->pkey == nullptr || EVP_PKEY_get_id(key->pkey) != EVP_PKEY_ED25519) {
    error = path + ": not an Ed25519 private key (make one with solane-publish keygen)";
    return std::nullopt;
  }
  struct stat status{};
  if (stat(path.c_str(), &status) == 0 && (status.st_mode & 077) != 0)
    warnings.push_back(path + ": others than its owner may read this private key (chmod 600 it)");
  return SigningKey(std::move(key));
}

std::optional<std::string> SigningKey::SignatureText(std::string_view bytes) const {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  unsigned char signature[ReleaseKey::kSignatureSize];
  size_t length = sizeof signature;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_->pkey) != 1 ||
      EVP_DigestSign(context.get(), signature, &length, reinterpret_cast<const unsigned char*>(bytes.data()),
                     bytes.size()) != 1 ||
      length != sizeof signature)
    return std::nullopt;
  return EncodeBase64(std::string_view(reinterpret_cast<const char*>(signature), length)) + "\r\n";
}

ReleaseKey SigningKey::PublicKey() const { return *PublicKeyOf(key_->pkey); }

std::optional<ReleaseKey> ReadPublicKey(const std::string& fileOrText) {
  std::error_code code;
  if (fs::is_regular_file(fileOrText, code)) {
    const std::optional<std::string> text = ReadWhole(fileOrText);
    return text ? ReleaseKey::FromBase64(*text) : std::nullopt;
  }
  return ReleaseKey::FromBase64(fileOrText);
}
