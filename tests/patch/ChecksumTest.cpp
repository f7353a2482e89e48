// The MD5 digests that packs are compared by, the SHA-256 digests and Ed25519 signatures of signed
// releases, and the text-mode CRC-32 of the pack check.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>
#include <string>

#include "patch/Crypto.h"
#include "patch/Md5.h"
#include "patch/ReleaseSignature.h"
#include "patch/TextChecksum.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScratchDir.h"

namespace {

// Lengths around the padding boundary and across several 1 MiB file reads, digested from memory
// whole and in uneven pieces and from the file, against md5sum and sha256sum (independent
// implementations).
TEST(DigestTest, LengthsPiecesAndFilesAgreeWithMd5sumAndSha256sum) {
  EXPECT_EQ(Md5Of("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  ScratchDir folder;
  std::mt19937 random(7);
  for (size_t length : {0u, 55u, 56u, 63u, 64u, 119u, 3u * (1 << 20) + 77}) {
    std::string text(length, '\0');
    for (char& c : text) c = static_cast<char>(random());
    const std::string path = folder.Write(std::to_string(length), text);
    const std::string md5 = RunProgram({"/usr/bin/md5sum", path}).output.substr(0, 32);
    const std::string sha256 = RunProgram({"/usr/bin/sha256sum", path}).output.substr(0, 64);
    ASSERT_EQ(md5.size() + sha256.size(), 96u);
    EXPECT_EQ(Md5Of(text), md5) << length;
    EXPECT_EQ(Md5OfFile(path), md5) << length;
    EXPECT_EQ(Sha256Hex(text), sha256) << length;
    EXPECT_EQ(Sha256OfFile(path), sha256) << length;
    Md5Context context;
    Sha256 digest;
    for (size_t pos = 0, piece; pos < length; pos += piece) {
      context.Update(text.data() + pos, piece = std::min<size_t>(random() % 150, length - pos));
      digest.Update(text.data() + pos, piece);
    }
    EXPECT_EQ(context.Final(), md5) << length << " in pieces";
    EXPECT_EQ(digest.FinalHex(), sha256) << length << " in pieces";
  }
}

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return bytes;
}

// A signature made by the openssl tool, accepted as made and refused once changed: our verdict
// and openssl's agree. S+L is the same signature modulo the group order L.
TEST(Ed25519Test, OpensslSignaturesAndTheirVariants) {
  ScratchDir folder;
  const std::string key = folder.PathOf("key.pem"), publicKey = folder.PathOf("key.pub"),
                    message = folder.Write("Update.NFO", "[Launcher]\r\nSerial=100\r\n");
  auto openssl = [](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/usr/bin/openssl");
    return RunProgram(arguments);
  };
  ASSERT_EQ(openssl({"genpkey", "-algorithm", "ed25519", "-out", key}).exitCode, 0);
  ASSERT_EQ(openssl({"pkey", "-in", key, "-pubout", "-out", publicKey}).exitCode, 0);
  ASSERT_EQ(openssl({"pkey", "-in", key, "-pubout", "-outform", "DER", "-out", folder.PathOf("key.der")}).exitCode, 0);
  ASSERT_EQ(openssl({"pkeyutl", "-sign", "-rawin", "-inkey", key, "-in", message, "-out", folder.PathOf("sig")}).exitCode,
            0);
  const std::string der = FileBytes(folder.PathOf("key.der")), signature = FileBytes(folder.PathOf("sig"));
  ASSERT_EQ(der.size(), 44u);
  ASSERT_EQ(signature.size(), 64u);
  std::array<uint8_t, 32> raw;
  std::copy(der.end() - 32, der.end(), raw.begin());

  auto plusGroupOrder = [](std::string s) {
    const std::string order = FromHex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
    for (int i = 32, carry = 0; i < 64; ++i) {
      carry += static_cast<uint8_t>(s[i]) + static_cast<uint8_t>(order[i - 32]);
      s[i] = static_cast<char>(carry & 0xff);
      carry >>= 8;
    }
    return s;
  };
  auto flipped = [](std::string s, size_t bit) {
    s[bit / 8] ^= static_cast<char>(1 << bit % 8);
    return s;
  };
  const struct {
    const char* what;
    std::string signature;
    bool valid;
  } cases[] = {
      {"as made", signature, true},
      {"S plus L", plusGroupOrder(signature), false},
      {"a bit of R flipped", flipped(signature, 77), false},
      {"a bit of S flipped", flipped(signature, 300), false},
  };
  for (const auto& [what, variant, valid] : cases) {
    EXPECT_EQ(VerifyEd25519(raw, FileBytes(message), variant), valid) << what;
    folder.Write("variant", variant);
    EXPECT_EQ(openssl({"pkeyutl", "-verify", "-pubin", "-inkey", publicKey, "-rawin", "-in", message, "-sigfile",
                       folder.PathOf("variant")}).exitCode == 0, valid) << what;
  }

  // Under a key of small order (here one of order 8) S = 0 with a small-order R passes the
  // library's own check for some messages, this one included.
  const std::string smallOrderKey = FromHex("26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05");
  std::copy(smallOrderKey.begin(), smallOrderKey.end(), raw.begin());
  EXPECT_FALSE(VerifyEd25519(raw, "Serial=100", std::string(31, '\0') + '\x80' + std::string(32, '\0')));
}

// Keys and signatures travel as base64 text: the RFC's vectors and bytes above 0x7f round-trip,
// and anything but whole, well-padded groups is refused.
TEST(Base64Test, RoundTripsAndRefusesMalformedText) {
  for (const auto& [bytes, text] : {std::pair{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                                    {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xff\xfe\x80", "//6A"}}) {
    EXPECT_EQ(EncodeBase64(bytes), text) << text;
    if (*bytes) {
      EXPECT_EQ(DecodeBase64(text), bytes) << text;
    }
  }
  for (const char* text : {"", "Zg=", "Z===", "Zg==Zg==", "Zm9v\n", "Zm 9", "Zm9-", "=m9v"})
    EXPECT_EQ(DecodeBase64(text), std::nullopt) << text;
  EXPECT_EQ(DecodeBase64(std::string_view("Zm\0v", 4)), std::nullopt);
}

// What a text-mode read delivers, then a bit-by-bit CRC-32 over it, all in memory.
uint32_t ExpectedChecksum(const std::string& raw) {
  std::string text;
  for (size_t i = 0; i < raw.size() && raw[i] != '\x1a'; ++i)
    if (raw[i] != '\r' || i + 1 == raw.size() || raw[i + 1] != '\n') text += raw[i];
  uint32_t crc = 0xffffffff;
  for (unsigned char byte : text) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

uint32_t ChecksumOfFile(const std::string& contents) {
  ScratchDir folder;
  return TextModeCrc32(folder.Write("Data.SPF", contents));
}

TEST(TextChecksumTest, LineEndsAndEndMark) {
  EXPECT_EQ(ChecksumOfFile("123456789"), 0xcbf43926u);  // the CRC-32 check value
  // A lone CR counts, at the end too; of CR CR LF the first CR stays; nothing after 0x1A counts.
  for (const char* contents : {"line\r\nline\r\n", "lone\rcarriage\r", "double\r\r\nend", "before\x1a" "after", "cr\r\x1a"})
    EXPECT_EQ(ChecksumOfFile(contents), ExpectedChecksum(contents)) << contents;
}

// Random binary data over several 1 MiB reads, with CR LF pairs and lone CRs placed on the read
// boundaries, with and without an end mark.
TEST(TextChecksumTest, RandomDataAcrossReadBoundaries) {
  constexpr size_t kRead = 1 << 20;
  std::mt19937 random(3);
  std::string raw(3 * kRead + 1000, '\0');
  for (char& c : raw)
    if ((c = static_cast<char>(random())) == '\x1a') c = '\r';  // the end mark is placed by hand
  for (size_t i = 0; i + 1 < raw.size(); i += 97) raw.replace(i, 2, "\r\n");
  for (const auto& [at, piece] : {std::pair{kRead - 1, "\r\n"}, {2 * kRead - 1, "\rx"}, {3 * kRead - 1, "\r\r\n"}})
    raw.replace(at, std::string(piece).size(), piece);
  raw.back() = '\r';
  EXPECT_EQ(ChecksumOfFile(raw), ExpectedChecksum(raw));
  raw[2 * kRead + 12345] = '\x1a';
  EXPECT_EQ(ChecksumOfFile(raw), ExpectedChecksum(raw));
}

// A file that cannot be read, a folder or a cancelled read give no digest and no checksum.
TEST(Checksums, UnreadableOrCancelledGiveNothing) {
  EXPECT_EQ(Md5OfFile("/nonexistent/Solane/file.SPF"), "");
  EXPECT_EQ(TextModeCrc32("/nonexistent/Solane/Data.SPF"), 0u);
  EXPECT_EQ(Md5OfFile(std::filesystem::temp_directory_path().string()), "");  // a folder
  ScratchDir folder;
  const std::string path = folder.Write("Data.SPF", "some pack");
  EXPECT_EQ(Md5OfFile(path, [] { return true; }), "");
  EXPECT_EQ(Md5OfFile(path, [] { return false; }), Md5Of("some pack"));
  EXPECT_EQ(Sha256OfFile(path, [] { return true; }), "");
  EXPECT_EQ(Sha256OfFile("/nonexistent/Solane/file.SPF"), "");
  EXPECT_EQ(TextModeCrc32(path, [] { return true; }), 0u);
  EXPECT_EQ(TextModeCrc32(path, [] { return false; }), ExpectedChecksum("some pack"));
}

}  // namespace
