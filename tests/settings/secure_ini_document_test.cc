// Protected settings files: recognising both formats, loading and saving
// them, a hex file of known bytes, the delete-after-read flag and the
// write-time stamp on disk.
#include "settings/secure_ini_document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "crypto/cryptmod.h"
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

DWORD Classify(const std::string& image) { return CSecureIniDocument::ClassifyBytes(Bytes(image), image.size()); }

void PutLe32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>(v >> (8 * i)));
}

// A container image around any payload: magic, digest length, payload
// length, the HAS-160 digest (cut or zero-extended to `digest_length`), then
// the payload.
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
  const struct {
    const char* image;
    DWORD format;
  } cases[] = {{"0123456789ABCDE", INI_FORMAT_NONE},  // 15: too short
               {"0123456789ABCDEF", INI_FORMAT_HEX},
               {"0123456789ABCDEFGXYZ", INI_FORMAT_HEX},  // any letter passes here
               {"0123456789abcdef", INI_FORMAT_NONE},
               {"0123456789ABCDEF\n", INI_FORMAT_NONE},
               {"[qorcommon]\r\nurl_logpolicy=x\r\n", INI_FORMAT_NONE},
               {"", INI_FORMAT_NONE}};
  for (const auto& c : cases) EXPECT_EQ(Classify(c.image), c.format) << c.image;

  CSecureIniDocument doc;
  const std::string g = "0123456789ABCDEG";
  EXPECT_EQ(doc.LoadFromBytes(Bytes(g), g.size()), 0);
  EXPECT_EQ(doc.format(), INI_FORMAT_HEX);  // the class stays, the load fails
  EXPECT_TRUE(doc.GetText().empty());
}

TEST(SettingsClassification, ContainerNeedsMagicDigestAndLengthsInsideTheImage) {
  const std::string payload(32, 'p');
  const std::string good = Container(payload);
  auto with = [&](std::size_t at, char bytes, int count = 1) {
    std::string image = good;
    for (int i = 0; i < count; ++i) image[at + i] = bytes;
    return image;
  };
  const struct {
    const char* what;
    std::string image;
    DWORD format;
  } cases[] = {
      {"good", good, INI_FORMAT_CONTAINER},
      {"trailing bytes", good + "trailing", INI_FORMAT_CONTAINER},
      {"magic", with(0, good[0] ^ 1), INI_FORMAT_NONE},
      {"a payload byte", with(12 + 20 + 5, 'P'), INI_FORMAT_NONE},
      {"a digest byte", with(12 + 19, good[12 + 19] ^ 1), INI_FORMAT_NONE},
      {"payload reaches past the end", good.substr(0, good.size() - 1), INI_FORMAT_NONE},
      {"no whole header", good.substr(0, 11), INI_FORMAT_NONE},
      // A longer digest field is compared on its first 20 bytes; a shorter
      // one cannot be compared.
      {"digest field of 24", Container(payload, 24), INI_FORMAT_CONTAINER},
      {"digest field of 19", Container(payload, 19), INI_FORMAT_NONE},
      // Lengths near the 32-bit limit must not wrap around the bounds check.
      {"huge digest length", with(4, '\xFF', 4), INI_FORMAT_NONE},
      {"huge payload length", with(8, '\xFF', 4), INI_FORMAT_NONE},
  };
  for (const auto& c : cases) EXPECT_EQ(Classify(c.image), c.format) << c.what;
}

// The container image: header and HAS-160 digest around whole SEED blocks.
// (Both formats load back in the tests below.)
TEST(SettingsRoundTrip, ContainerHoldsHeaderDigestAndSeedBlocks) {
  TempDir dir;
  const fs::path path = dir.path() / "s.ui";
  SaveSample(path, INI_FORMAT_CONTAINER);
  const std::string image = ReadFile(path);
  ASSERT_GE(image.size(), 12u + 20u);
  EXPECT_EQ(image, Container(image.substr(12 + 20)));
  EXPECT_EQ(image.size() % 16, (12u + 20u) % 16);
  CSecureIniDocument doc;
  std::u16string text;
  ASSERT_EQ(doc.LoadFileText(U(path), &text), 1);
  ExpectSample(doc);
  EXPECT_EQ(text, doc.GetText());
}

// A hex file written elsewhere: the DES-CBC answer for "[qorcommon]" under
// the settings key (vectors/des.txt of the crypto tests). It loads, and the
// held text is saved as loaded, not rebuilt, to the same bytes.
TEST(SettingsRoundTrip, HexFileMatchesTheDesKnownAnswer) {
  TempDir dir;
  const fs::path path = dir.path() / "zelinfo.ui";
  const std::string image = "2F6626265AAD22E87323C1499E646794";
  WriteFile(path, image);
  CSecureIniDocument doc;
  ASSERT_EQ(doc.LoadFile(U(path), 0), 1);
  EXPECT_EQ(doc.GetText(), u"[qorcommon]");
  ASSERT_EQ(doc.Save(U(path), INI_FORMAT_HEX), 1);
  EXPECT_EQ(ReadFile(path), image);
}

TEST(SettingsLoad, DamagedMissingAndPlainFilesLoadNothing) {
  TempDir dir;
  const fs::path path = dir.path() / "s.ui";
  CSecureIniDocument doc;
  EXPECT_EQ(doc.LoadFile(U(dir.path() / "missing.ui"), 0), 0);
  EXPECT_EQ(doc.LoadFile(U(dir.path()), 0), 0);  // a folder
  WriteFile(path, "[qorcommon]\nurl_logpolicy=x\n");
  EXPECT_EQ(doc.LoadFile(U(path), 0), 0);
  EXPECT_EQ(doc.format(), INI_FORMAT_NONE);
  EXPECT_TRUE(doc.GetText().empty());

  // The digest matches, but the payload is not SEED cipher text under the
  // key (its padding check fails, or it is not whole blocks).
  for (const std::string& payload : {std::string(16, '\0'), std::string(15, 'x'), std::string()}) {
    const std::string image = Container(payload);
    CSecureIniDocument other;
    EXPECT_EQ(other.LoadFromBytes(Bytes(image), image.size()), 0);
    EXPECT_EQ(other.format(), INI_FORMAT_CONTAINER);
  }
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
  EXPECT_EQ(CSecureIniDocument().LoadFile(U(bad), 1), 0);
  EXPECT_FALSE(fs::exists(bad));
}

TEST(SettingsSave, CreatesFoldersOverwritesReadOnlyFilesAndKeepsTheLoadedFormat) {
  TempDir dir;
  const fs::path path = dir.path() / "a" / "b" / "s.ui";
  SaveSample(path, INI_FORMAT_CONTAINER);
  fs::permissions(path, fs::perms::owner_read);
  CSecureIniDocument doc;
  ASSERT_EQ(doc.LoadFile(U(path), 0), 1);
  doc.SetString(u"s", u"k", u"2");
  ASSERT_EQ(doc.SaveStamped(U(path), 1, INI_FORMAT_NONE), 1);
  EXPECT_EQ(Classify(ReadFile(path)), INI_FORMAT_CONTAINER);
  CSecureIniDocument back;
  ASSERT_EQ(back.LoadFile(U(path), 0), 1);
  EXPECT_EQ(back.GetString(u"s", u"k"), u"2");
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
  EXPECT_EQ(CSecureIniDocument().LoadAndCheckAge(U(path), 60, 1), -1);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(CSecureIniDocument().LoadAndCheckAge(U(path), 60, 0), 0);  // no file
}

}  // namespace
}  // namespace qorlog
