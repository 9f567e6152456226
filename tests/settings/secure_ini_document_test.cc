// Protected settings files: recognising both formats, loading and saving
// them, the delete-after-read flag, the write-time stamp on disk, and
// reading a hex file made by another DES implementation.
#include "settings/secure_ini_document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "crypto/cryptmod.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::u16string U(const fs::path& p) { return platform::Utf8ToUtf16(p.string()); }

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

DWORD Classify(const std::string& image) {
  return CSecureIniDocument::ClassifyBytes(Bytes(image), image.size());
}

uint32_t Le32(const std::string& s, size_t at) {
  return uint32_t{uint8_t(s[at])} | uint32_t{uint8_t(s[at + 1])} << 8 |
         uint32_t{uint8_t(s[at + 2])} << 16 | uint32_t{uint8_t(s[at + 3])} << 24;
}

void PutLe32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>(v >> (8 * i)));
}

// A container image around any payload, with its correct digest unless a
// digest length other than 20 is asked for.
std::string Container(const std::string& payload, uint32_t digest_length = 20) {
  CryptBufferPtr digest(DigestHas160(payload.data(), static_cast<uint32_t>(payload.size())));
  std::string image;
  PutLe32(&image, INI_FORMAT_CONTAINER);
  PutLe32(&image, digest_length);
  PutLe32(&image, static_cast<uint32_t>(payload.size()));
  std::string d(reinterpret_cast<const char*>(digest->data), digest->length);
  d.resize(digest_length, '\0');
  return image + d + payload;
}

// A document holding a few values, saved in `format` to `path`.
void SaveSample(const fs::path& path, DWORD format) {
  CSecureIniDocument doc;
  doc.SetText(u"[QorCommon]\nurl_logpolicy = \"http://policy\"\n[other]\nname=Gr\u00FC\u00DFe\n");
  ASSERT_EQ(doc.Save(U(path), format), 1);
}

void ExpectSample(CSecureIniDocument& doc) {
  EXPECT_EQ(doc.GetString(u"qorcommon", u"URL_LOGPOLICY"), u"http://policy");
  EXPECT_EQ(doc.GetString(u"other", u"name"), u"Gr\u00FC\u00DFe");
}

TEST(SettingsClassification, HexTextNeedsSixteenUpperCaseLettersOrDigits) {
  EXPECT_EQ(Classify("0123456789ABCDE"), INI_FORMAT_NONE);  // 15: too short
  EXPECT_EQ(Classify("0123456789ABCDEF"), INI_FORMAT_HEX);
  EXPECT_EQ(Classify("0123456789ABCDEFGXYZ"), INI_FORMAT_HEX);  // any letter passes here
  EXPECT_EQ(Classify("0123456789abcdef"), INI_FORMAT_NONE);
  EXPECT_EQ(Classify("0123456789ABCDEF\n"), INI_FORMAT_NONE);
  EXPECT_EQ(Classify("[qorcommon]\r\nurl_logpolicy=x\r\n"), INI_FORMAT_NONE);
  EXPECT_EQ(Classify(""), INI_FORMAT_NONE);

  CSecureIniDocument doc;
  const std::string g = "0123456789ABCDEG";
  EXPECT_EQ(doc.LoadFromBytes(Bytes(g), g.size()), 0);
  EXPECT_EQ(doc.format(), INI_FORMAT_HEX);  // the class stays, the load fails
  EXPECT_TRUE(doc.GetText().empty());
}

TEST(SettingsClassification, ContainerNeedsMagicDigestAndLengthsInsideTheImage) {
  const std::string payload(32, 'p');
  const std::string good = Container(payload);
  EXPECT_EQ(Classify(good), INI_FORMAT_CONTAINER);
  EXPECT_EQ(Classify(good + "trailing"), INI_FORMAT_CONTAINER);

  std::string bad_magic = good;
  bad_magic[0] ^= 1;
  EXPECT_EQ(Classify(bad_magic), INI_FORMAT_NONE);
  std::string changed = good;
  changed[12 + 20 + 5] ^= 0x40;  // one payload byte
  EXPECT_EQ(Classify(changed), INI_FORMAT_NONE);
  EXPECT_EQ(Classify(good.substr(0, good.size() - 1)), INI_FORMAT_NONE);  // P reaches past
  EXPECT_EQ(Classify(good.substr(0, 11)), INI_FORMAT_NONE);

  // A longer digest field is compared on its first 20 bytes.
  EXPECT_EQ(Classify(Container(payload, 24)), INI_FORMAT_CONTAINER);
  // A digest field shorter than the digest cannot be compared.
  EXPECT_EQ(Classify(Container(payload, 19)), INI_FORMAT_NONE);
  EXPECT_EQ(Classify(Container(payload, 0)), INI_FORMAT_NONE);

  // Lengths near the 32-bit limit must not wrap around the bounds check.
  std::string huge = good;
  huge[4] = huge[5] = huge[6] = huge[7] = '\xFF';
  EXPECT_EQ(Classify(huge), INI_FORMAT_NONE);
  huge = good;
  huge[8] = huge[9] = huge[10] = huge[11] = '\xFF';
  EXPECT_EQ(Classify(huge), INI_FORMAT_NONE);
}

TEST(SettingsRoundTrip, HexFormat) {
  TempDir dir;
  const fs::path path = dir.path() / "s.ui";
  SaveSample(path, INI_FORMAT_HEX);
  const std::string image = ReadFile(path);
  ASSERT_GE(image.size(), 16u);
  EXPECT_EQ(image.size() % 16, 0u);  // two hex digits per byte of whole DES blocks
  EXPECT_EQ(image.find_first_not_of("0123456789ABCDEF"), std::string::npos);

  CSecureIniDocument doc;
  ASSERT_EQ(doc.LoadFile(U(path), 0), 1);
  EXPECT_EQ(doc.format(), INI_FORMAT_HEX);
  ExpectSample(doc);
  EXPECT_TRUE(fs::exists(path));
}

TEST(SettingsRoundTrip, ContainerFormat) {
  TempDir dir;
  const fs::path path = dir.path() / "s.ui";
  SaveSample(path, INI_FORMAT_CONTAINER);
  const std::string image = ReadFile(path);
  ASSERT_GE(image.size(), 12u);
  EXPECT_EQ(Le32(image, 0), INI_FORMAT_CONTAINER);
  EXPECT_EQ(Le32(image, 4), 20u);
  const uint32_t payload_length = Le32(image, 8);
  EXPECT_EQ(payload_length % 16, 0u);
  EXPECT_EQ(image.size(), 12u + 20u + payload_length);

  CSecureIniDocument doc;
  ASSERT_EQ(doc.LoadFile(U(path), 0), 1);
  EXPECT_EQ(doc.format(), INI_FORMAT_CONTAINER);
  ExpectSample(doc);

  std::u16string text;
  CSecureIniDocument again;
  ASSERT_EQ(again.LoadFileText(U(path), &text), 1);
  EXPECT_EQ(text, doc.GetText());
}

TEST(SettingsLoad, ChangedContainerDoesNotLoad) {
  TempDir dir;
  const fs::path path = dir.path() / "s.ui";
  SaveSample(path, INI_FORMAT_CONTAINER);
  std::string image = ReadFile(path);
  image[image.size() - 3] ^= 0x01;
  WriteFile(path, image);
  CSecureIniDocument doc;
  EXPECT_EQ(doc.LoadFile(U(path), 0), 0);
  EXPECT_EQ(doc.format(), INI_FORMAT_NONE);
  EXPECT_TRUE(doc.GetText().empty());
  EXPECT_EQ(doc.GetString(u"qorcommon", u"url_logpolicy", u"d"), u"d");
}

TEST(SettingsLoad, ContainerWhosePayloadDoesNotDecryptFails) {
  // The digest matches, but the payload is not SEED cipher text under the
  // key (its padding check fails, or it is not whole blocks).
  for (const std::string& payload : {std::string(16, '\0'), std::string(15, 'x'), std::string()}) {
    const std::string image = Container(payload);
    CSecureIniDocument doc;
    EXPECT_EQ(doc.LoadFromBytes(Bytes(image), image.size()), 0);
    EXPECT_EQ(doc.format(), INI_FORMAT_CONTAINER);
  }
}

TEST(SettingsLoad, MissingUnreadableAndPlainFilesFail) {
  TempDir dir;
  CSecureIniDocument doc;
  EXPECT_EQ(doc.LoadFile(U(dir.path() / "missing.ui"), 0), 0);
  EXPECT_EQ(doc.LoadFile(U(dir.path()), 0), 0);  // a folder
  WriteFile(dir.path() / "plain.ui", "[qorcommon]\nurl_logpolicy=x\n");
  EXPECT_EQ(doc.LoadFile(U(dir.path() / "plain.ui"), 0), 0);
  EXPECT_EQ(doc.format(), INI_FORMAT_NONE);
}

TEST(SettingsLoad, DeleteFlagRemovesTheFileLoadedOrNot) {
  TempDir dir;
  const fs::path good = dir.path() / "good.ui";
  SaveSample(good, INI_FORMAT_HEX);
  fs::permissions(good, fs::perms::owner_read);  // read-only is deleted all the same
  CSecureIniDocument doc;
  EXPECT_EQ(doc.LoadFile(U(good), 1), 1);
  ExpectSample(doc);
  EXPECT_FALSE(fs::exists(good));

  const fs::path bad = dir.path() / "bad.ui";
  WriteFile(bad, "not a settings file");
  CSecureIniDocument other;
  EXPECT_EQ(other.LoadFile(U(bad), 1), 0);
  EXPECT_FALSE(fs::exists(bad));
}

TEST(SettingsSave, CreatesFoldersAndOverwritesReadOnlyFiles) {
  TempDir dir;
  const fs::path path = dir.path() / "a" / "b" / "s.ui";
  SaveSample(path, INI_FORMAT_HEX);
  ASSERT_TRUE(fs::exists(path));
  fs::permissions(path, fs::perms::owner_read);
  CSecureIniDocument doc;
  doc.SetText(u"[s]\nk=2\n");
  ASSERT_EQ(doc.Save(U(path), INI_FORMAT_CONTAINER), 1);
  CSecureIniDocument back;
  ASSERT_EQ(back.LoadFile(U(path), 0), 1);
  EXPECT_EQ(back.GetString(u"s", u"k"), u"2");
  EXPECT_EQ(back.format(), INI_FORMAT_CONTAINER);
}

TEST(SettingsSave, FormatNoneKeepsTheLoadedFormat) {
  TempDir dir;
  const fs::path path = dir.path() / "s.ui";
  SaveSample(path, INI_FORMAT_CONTAINER);
  CSecureIniDocument doc;
  ASSERT_EQ(doc.LoadFile(U(path), 0), 1);
  ASSERT_EQ(doc.SaveStamped(U(path), 1, INI_FORMAT_NONE), 1);
  EXPECT_EQ(Classify(ReadFile(path)), INI_FORMAT_CONTAINER);
  CSecureIniDocument back;
  ASSERT_EQ(back.LoadFile(U(path), 0), 1);
  EXPECT_FALSE(back.GetString(u"Common", u"WriteTime").empty());
  ExpectSample(back);

  // A document that was never loaded saves as hex text.
  CSecureIniDocument fresh;
  fresh.SetText(u"[s]\nk=v\n");
  ASSERT_EQ(fresh.Save(U(path), INI_FORMAT_NONE), 1);
  EXPECT_EQ(Classify(ReadFile(path)), INI_FORMAT_HEX);
}

TEST(SettingsStampOnDisk, LoadAndCheckAge) {
  TempDir dir;
  const fs::path path = dir.path() / "s.ui";
  CSecureIniDocument doc;
  doc.SetText(u"[s]\nk=v\n");
  ASSERT_EQ(doc.Save(U(path), INI_FORMAT_HEX), 1);
  EXPECT_EQ(CSecureIniDocument().LoadAndCheckAge(U(path), 60, 0), 0);  // no stamp

  ASSERT_EQ(doc.SaveStamped(U(path), 1, INI_FORMAT_HEX), 1);
  EXPECT_EQ(CSecureIniDocument().LoadAndCheckAge(U(path), 60, 0), 1);

  doc.SetString(u"COMMON", u"WRITETIME", u"2000.01.01.00.00.00");
  ASSERT_EQ(doc.Save(U(path), INI_FORMAT_CONTAINER), 1);
  EXPECT_EQ(CSecureIniDocument().LoadAndCheckAge(U(path), 60, 0), -1);
  doc.SetString(u"common", u"writetime", u"2000.01.01.00.00");
  ASSERT_EQ(doc.Save(U(path), INI_FORMAT_CONTAINER), 1);
  EXPECT_EQ(CSecureIniDocument().LoadAndCheckAge(U(path), 60, 0), -1);

  EXPECT_EQ(CSecureIniDocument().LoadAndCheckAge(U(path), 60, 1), -1);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(CSecureIniDocument().LoadAndCheckAge(U(path), 60, 0), 0);  // no file
}

// Runs a shell command; true when it exited with status 0.
bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

// The DES key is the first 8 bytes of the key string, "Qor#Sett".
constexpr char kOpensslDes[] =
    "openssl enc -des-cbc -K 516F722353657474 -iv 0000000000000000 "
    "-provider legacy -provider default";

TEST(SettingsInterop, HexFileFromOpensslIsRead) {
  if (!Shell("openssl version >/dev/null 2>&1")) GTEST_SKIP() << "openssl command not installed";
  TempDir dir;
  const fs::path plain = dir.path() / "plain.txt";
  const fs::path cipher = dir.path() / "cipher.bin";
  WriteFile(plain, "[QorCommon]\r\nUrl_LogPolicy=https://example/p\r\n");
  ASSERT_TRUE(Shell(std::string(kOpensslDes) + " -in '" + plain.string() + "' -out '" +
                    cipher.string() + "'"));
  std::string hex;
  for (unsigned char c : ReadFile(cipher)) {
    hex += "0123456789ABCDEF"[c >> 4];
    hex += "0123456789ABCDEF"[c & 15];
  }
  const fs::path file = dir.path() / "zelinfo.ui";
  WriteFile(file, hex);
  CSecureIniDocument doc;
  ASSERT_EQ(doc.LoadFile(U(file), 0), 1);
  EXPECT_EQ(doc.GetString(u"qorcommon", u"url_logpolicy"), u"https://example/p");

  // And the other way: what we write, openssl decrypts.
  ASSERT_EQ(doc.Save(U(file), INI_FORMAT_HEX), 1);
  const std::string ours = ReadFile(file);
  std::string bytes;
  for (size_t i = 0; i + 1 < ours.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(ours.substr(i, 2), nullptr, 16));
  }
  WriteFile(cipher, bytes);
  ASSERT_TRUE(Shell(std::string(kOpensslDes) + " -d -in '" + cipher.string() + "' -out '" +
                    plain.string() + "'"));
  // The held text is written as loaded, not rebuilt.
  EXPECT_EQ(ReadFile(plain), "[QorCommon]\r\nUrl_LogPolicy=https://example/p\r\n");
}

}  // namespace
}  // namespace qorlog
