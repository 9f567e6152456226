// Every command's exact output: each case prepares an isolated environment,
// runs one `qorlog` command and compares its standard output, standard error
// and exit status with tests/cli/golden/<case>.{stdout.exact,stderr.exact,exit}.
// The temporary folder reads as <TMP>, the Program Files folder as <TMP>/pf
// (on Windows it is the machine's, "C:\Program Files (x86)"), Windows'
// separators as '/', and today's date as <TODAY>, so the files stay the same
// from run to run and from system to system. QORLOG_UPDATE_GOLDEN=1 rewrites the
// files from the program's current output (review the diff before keeping it).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/system.h"
#include "platform/text.h"
#include "settings/secure_ini_document.h"
#include "tests/cli/cli_runner.h"
#include "tests/logstore/log_file_builder.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {
namespace {

namespace fs = std::filesystem;

// The local date as "%04d%02d%02d" or "%04d-%02d-%02d".
std::string Today(const char* format) {
  const SYSTEMTIME now = platform::GetLocalTime();
  char text[32];
  std::snprintf(text, sizeof text, format, now.wYear, now.wMonth, now.wDay);
  return text;
}

constexpr const char* kCompact = "%04d%02d%02d";
constexpr const char* kDashed = "%04d-%02d-%02d";

// Set-up steps of the cases beside LogFolders::Put.
void Folder(const LogFolders& s, const std::string& category, const std::string& name) {
  fs::create_directories(s.CategoryFolder(category) / name);
}
void Run(const std::vector<std::string>& args) {
  const CliResult r = RunCli(args);
  ASSERT_EQ(r.exit_code, 0) << r.err;
}
void Protect(const fs::path& path, std::u16string_view text) {
  CSecureIniDocument doc;
  doc.SetText(text);
  ASSERT_EQ(doc.Save(platform::Utf8ToUtf16(path.string()), INI_FORMAT_HEX), 1);
}
fs::path PolicyFile(const LogFolders& s) { return s.scope().path() / "Varnok" / "ZEL" / "Pellora i" / "zelinfo.ui"; }

struct Case {
  const char* name;
  std::function<void(const LogFolders&)> setup;
  std::vector<std::string> args;  // "<TMP>" stands for the temporary folder, "<TMP>/pf" for Program Files
};

void Nothing(const LogFolders&) {}

// Names the case in test failures instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

void OneFirewallRecord(const LogFolders& s) { s.Put("firewall", "2024030500.log", {RecordBytes(Firewall(9, 9))}); }

const Case kCases[] = {
    // The program as a whole.
    {"help", Nothing, {"--help"}},
    {"version", Nothing, {"--version"}},
    {"unknown_command", Nothing, {"nosuch"}},
    {"unknown_kind", Nothing, {"list", "--kind", "bogus"}},
    {"registry_error_list", [](const LogFolders& s) { WriteFile(s.env().registry_file(), ""); }, {"list"}},
    {"registry_error_write", [](const LogFolders& s) { WriteFile(s.env().registry_file(), ""); }, {"write", "simple"}},
    {"registry_error_policy", [](const LogFolders& s) { WriteFile(s.env().registry_file(), ""); }, {"policy"}},

    // list: the library's entries by index, folders and set-aside files marked.
    {"list_marks_damage_folders_and_set_aside_files",
     [](const LogFolders& s) {
       s.Put("firewall", "2024030500.log", {RecordBytes(Firewall(1, 1)), RecordBytes(Firewall(2, 2))});
       s.PutBytes("firewall", "2024030501.log", std::string("\x01\0\0\0\x05\0\0\0\x05\0\0\0", 12));
       Folder(s, "firewall", "2024030502.log");
       s.PutBytes("firewall", "2024030501.log.damaged", "x");
     },
     {"list", "--kind", "fw"}},
    {"list_json",
     [](const LogFolders& s) {
       s.Put("pc scan", "2024030500.log", {RecordBytes(PCScan(1, 1))});
       s.PutBytes("pc scan", "2024030500.log.1.damaged", "xy");
     },
     {"list", "--kind", "PC Scan", "--json"}},
    {"list_all_empty", Nothing, {"list", "--all"}},

    // show.
    {"show_table_newest_first",
     [](const LogFolders& s) {
       s.Put("firewall", "2024030500.log",
             {RecordBytes(Firewall(1, 2, 30, u"r\u00e9gle")), RecordBytes(Firewall(5, 6, 70))});
     },
     {"show", "--kind", "firewall"}},
    {"show_json_oldest_first_by_index",
     [](const LogFolders& s) {
       // 255 units: the first text length that takes the 16-bit form.
       s.Put("secure browser", "2024030500.log",
             {RecordBytes(Simple(1, 2)), RecordBytes(Simple(3, 405, std::u16string(255, u'x')))});
       s.PutBytes("secure browser", "2024030501.log", HeaderBytes(0));
     },
     {"show", "--kind", "secure-browser", "--file", "0", "--json", "--oldest-first"}},
    {"show_newest_skips_a_folder",
     [](const LogFolders& s) {
       OneFirewallRecord(s);
       Folder(s, "firewall", "2024030501.log");
     },
     {"show", "--kind", "1001"}},
    {"show_index_of_a_folder",
     [](const LogFolders& s) { Folder(s, "firewall", "2024030501.log"); },
     {"show", "--kind", "firewall", "--file", "0"}},
    {"show_negative_index", Nothing, {"show", "--kind", "firewall", "--file", "-1"}},
    {"show_index_out_of_range", OneFirewallRecord, {"show", "--kind", "firewall", "--file", "1"}},
    {"show_index_beyond_any_number",
     OneFirewallRecord,
     {"show", "--kind", "firewall", "--file", "99999999999999999999"}},
    {"show_missing_file", Nothing, {"show", "<TMP>/pf/Varnok/ZEL/Common/Log/firewall/missing.log"}},
    {"show_a_folder", Nothing, {"show", "<TMP>"}},
    {"show_etc_file_needs_a_kind",
     [](const LogFolders& s) { s.PutBytes("etc", "2024030500.log", HeaderBytes(0)); },
     {"show", "<TMP>/pf/Varnok/ZEL/Common/Log/etc/2024030500.log"}},
    {"show_cut_off_record",
     [](const LogFolders& s) {
       const std::string second = RecordBytes(PCScan(2, 2));
       s.PutBytes("pc scan", "2024030500.log",
                  HeaderBytes(2) + RecordBytes(PCScan(1, 1)) + second.substr(0, second.size() - 3));
     },
     {"show", "<TMP>/pf/Varnok/ZEL/Common/Log/pc scan/2024030500.log"}},
    {"show_refused_record",
     [](const LogFolders& s) {
       s.Put("pc scan", "2024030500.log",
             {RecordBytes(PCScan(1, 0)), RecordBytes(PCScan(603, 0)), RecordBytes(PCScan(3, 0))});
     },
     {"show", "--kind", "pc-scan"}},
    {"show_damaged_header",
     [](const LogFolders& s) {
       s.PutBytes("anti keylogger", "2024030500.log",
                  std::string("\x01\0\0\0\x01\0\0\0\x01\0\0\0", 12) + RecordBytes(Simple(1, 1)));
     },
     {"show", "--kind", "anti-keylogger", "--json"}},
    {"show_header_cut_off",
     [](const LogFolders& s) { s.PutBytes("pellora i", "2024030500.log", std::string("\x01\0\0", 3)); },
     {"show", "--kind", "pellora"}},

    // write: kinds by name, values the readers refuse, texts cut by UTF-16 units.
    {"write_refuses_a_code_the_readers_refuse",
     Nothing,
     {"write", "simple", "--kind", "anti-keylogger", "--code", "603"}},
    {"write_refuses_a_simple_sub_code", Nothing, {"write", "simple", "--sub-code", "406"}},
    {"write_refuses_a_firewall_sub_code", Nothing, {"write", "fw", "--sub-code", "206"}},
    {"write_refuses_simple_records_in_the_firewall_folder", Nothing, {"write", "simple", "--kind", "firewall"}},
    {"write_refuses_simple_records_of_a_kind_read_as_pc_scan", Nothing, {"write", "simple", "--kind", "5"}},
    {"write_notes_a_cut_text",
     Nothing,
     {"write", "simple", "--kind", "anti-keylogger", "--text", std::string(258, 'a') + "\xF0\x9F\x98\x80"}},
    {"show_what_write_stored",
     [](const LogFolders&) {
       std::string e200;
       for (int i = 0; i < 200; ++i) e200 += "\xC3\xA9";
       Run({"write", "simple", "--kind", "anti keylogger", "--code", "602", "--sub-code", "405", "--text", e200});
       Run({"write", "simple", "--kind", "Anti-Keylogger", "--text", std::string(258, 'a') + "\xF0\x9F\x98\x80"});
     },
     {"show", "--kind", "anti-keylogger", "--json", "--oldest-first"}},
    {"write_file_in_the_way",
     [](const LogFolders& s) {  // the category "folder" is a file
       fs::create_directories(s.CategoryFolder("etc"));
       WriteFile(s.CategoryFolder("pellora i"), "x");
     },
     {"write", "simple", "--kind", "pellora"}},
    {"write_folder_in_the_way",
     [](const LogFolders& s) { Folder(s, "firewall", Today(kCompact) + "00.log"); },
     {"write", "fw"}},
    {"write_day_used_up",
     [](const LogFolders& s) {
       // The day's last name, full: the next file would be the 101st of the day.
       const fs::path last = s.PutBytes("etc", Today(kCompact) + "99.log", HeaderBytes(0));
       fs::resize_file(last, 0x100000);
     },
     {"write", "simple", "--text", "lost"}},

    // prune.
    {"prune_takes_a_category_name", Nothing, {"prune", "--kind", "pc-scan"}},
    {"prune_needs_a_kind", Nothing, {"prune"}},
    {"prune_reports_the_files_that_went_and_set_aside_files",
     [](const LogFolders& s) {
       for (int i = 0; i < 100; ++i) {
         char name[32];
         std::snprintf(name, sizeof name, "20250101%02d.log", i);
         s.PutBytes("firewall", name, HeaderBytes(0));
       }
       s.PutBytes("firewall", "2025010100.log.damaged", "x");
       s.PutBytes("firewall", "2025010100.log.1.damaged", "x");
       s.PutBytes("firewall", "notes.damaged", "kept: not a log file's name");
     },
     {"prune", "--kind", "firewall", "--damaged"}},

    // export: refusals before any output, and where the cursor stands.
    {"export_refuses_an_unknown_kind", Nothing, {"export", "--kind", "nonsense"}},
    {"export_refuses_a_since_that_is_no_time", Nothing, {"export", "--since", "yesterday"}},
    {"export_refuses_an_until_on_no_day", Nothing, {"export", "--until", "2024-02-30"}},
    {"export_refuses_a_since_after_the_until", Nothing, {"export", "--since", "2024-03-06", "--until", "2024-03-05"}},
    {"export_refuses_a_cursor_file_of_no_json",
     [](const LogFolders& s) { WriteFile(s.env().root() / "c.json", "{not"); },
     {"export", "--cursor-file", "<TMP>/c.json"}},
    {"export_refuses_a_cursor_file_of_another_format",
     [](const LogFolders& s) { WriteFile(s.env().root() / "c.json", R"({"format":"other","version":1,"kinds":[]})"); },
     {"export", "--cursor-file", "<TMP>/c.json"}},
    {"export_refuses_a_folder_as_cursor_file",
     [](const LogFolders& s) { fs::create_directories(s.env().root() / "c"); },
     {"export", "--cursor-file", "<TMP>/c"}},
    {"export_cannot_write_the_cursor_file", OneFirewallRecord, {"export", "--cursor-file", "<TMP>/missing/c.json"}},
    {"export_show_cursor_needs_a_cursor_file", Nothing, {"export", "--show-cursor"}},
    {"export_show_cursor_without_a_cursor_file", Nothing, {"export", "--show-cursor", "--cursor-file", "<TMP>/c.json"}},
    {"export_show_cursor",
     [](const LogFolders& s) {
       s.Put("etc", "2024030500.log", {RecordBytes(Simple(6, 0)), RecordBytes(Simple(7, 0))});
       Run({"export", "--cursor-file", (s.env().root() / "c.json").string()});
     },
     {"export", "--show-cursor", "--cursor-file", "<TMP>/c.json"}},

    // forward: refused before any collector is reached (or after it was not).
    {"forward_needs_a_collector", Nothing, {"forward"}},
    {"forward_refuses_udp", Nothing, {"forward", "--to", "udp://127.0.0.1:514"}},
    {"forward_refuses_an_address_without_a_port", Nothing, {"forward", "--to", "tcp://127.0.0.1"}},
    {"forward_refuses_a_port_out_of_range", Nothing, {"forward", "--to", "tcp://127.0.0.1:70000"}},
    {"forward_gives_up_without_follow", OneFirewallRecord, {"forward", "--to", "tcp://127.0.0.1:1"}},
    {"forward_ca_file_only_for_tls", Nothing, {"forward", "--to", "tcp://127.0.0.1:1", "--ca-file", "<TMP>/ca.pem"}},
    {"forward_tls_needs_a_ca_file", Nothing, {"forward", "--to", "tls://localhost:1"}},
    {"forward_missing_ca_file", Nothing, {"forward", "--to", "tls://localhost:1", "--ca-file", "<TMP>/missing.pem"}},
    {"forward_ca_file_without_a_certificate",
     [](const LogFolders& s) { WriteFile(s.env().root() / "c.pem", "plain\n"); },
     {"forward", "--to", "tls://localhost:1", "--ca-file", "<TMP>/c.pem"}},

    // paths and policy.
    {"paths", Nothing, {"paths"}},
    {"paths_json", Nothing, {"paths", "--json"}},
    {"policy_off_without_a_file", Nothing, {"policy"}},
    {"policy_off_for_a_blank_value",
     [](const LogFolders& s) { Protect(PolicyFile(s), u"[QorCommon]\nurl_logpolicy=  \n"); },
     {"policy"}},
    {"policy_on",
     [](const LogFolders& s) { Protect(PolicyFile(s), u"[QORCOMMON]\nURL_LOGPOLICY=https://p\n"); },
     {"policy"}},
    {"policy_off_for_a_plain_file",
     [](const LogFolders& s) {
       fs::create_directories(PolicyFile(s).parent_path());
       WriteFile(PolicyFile(s), "[qorcommon]\nurl_logpolicy=x\n");
     },
     {"policy"}},

    // settings.
    {"settings_show",
     [](const LogFolders& s) { Protect(s.env().root() / "s.ui", u"[S]\nk = \"  v \"\nempty=\n"); },
     {"settings", "show", "<TMP>/s.ui"}},
    {"settings_get_missing_key",
     [](const LogFolders& s) { Protect(s.env().root() / "s.ui", u"[s]\nk=v\n"); },
     {"settings", "get", "<TMP>/s.ui", "s", "nokey"}},
    {"settings_missing_file", Nothing, {"settings", "show", "<TMP>/none.ui"}},
    {"settings_plain_file",
     [](const LogFolders& s) { WriteFile(s.env().root() / "s.ui", "[s]\nk=v\n"); },
     {"settings", "get", "<TMP>/s.ui", "s", "k"}},
    {"settings_set_refuses_a_value_that_reads_back_otherwise",
     Nothing,
     {"settings", "set", "<TMP>/s.ui", "s", "k", " padded\"", "--format", "container"}},
    {"settings_set_refuses_a_section_the_text_cannot_hold",
     Nothing,
     {"settings", "set", "<TMP>/s.ui", "a]b", "k", "v"}},
    {"settings_set_refuses_to_change_other_entries",
     [](const LogFolders& s) { Protect(s.env().root() / "s.ui", u"[s]\nquoted = \"  v \"\nplain=x\n"); },
     {"settings", "set", "<TMP>/s.ui", "s", "new", "1"}},
    {"settings_age_refuses_a_negative_age", Nothing, {"settings", "age", "<TMP>/s.ui", "-5"}},
    {"settings_age_stale",
     [](const LogFolders& s) { Protect(s.env().root() / "s.ui", u"[Common]\nWriteTime=2001.02.03.04.05.06\n"); },
     {"settings", "age", "<TMP>/s.ui", "60"}},
    {"settings_age_without_a_stamp",
     [](const LogFolders& s) { Protect(s.env().root() / "s.ui", u"[s]\nk=v\n"); },
     {"settings", "age", "<TMP>/s.ui", "60"}},
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; !from.empty() && (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// A path as the golden files write it: with '/' between its parts.
std::string Generic(const fs::path& path) { return path.generic_string(); }

class GoldenTest : public ::testing::TestWithParam<Case> {
 protected:
  std::string Stable(std::string text) const {
    static const std::regex kTimeOfDay("<TODAY>T[0-9:.]{12}");
#ifdef _WIN32
    // Separators, also those doubled inside JSON strings; the golden files
    // hold no backslash of their own.
    text = Replace(Replace(text, "\\\\", "/"), "\\", "/");
#endif
    text = Replace(Replace(text, Generic(logs_.scope().path()), "<TMP>/pf"), Generic(logs_.env().root()), "<TMP>");
    text = Replace(Replace(text, Today(kCompact), "<TODAY>"), Today(kDashed), "<TODAY>");
    return std::regex_replace(text, kTimeOfDay, "<TODAY>T<TIME>");
  }
  // Compares with, or with QORLOG_UPDATE_GOLDEN set rewrites, one golden file.
  void Check(const std::string& suffix, const std::string& actual) const {
    const fs::path path = fs::path(QORLOG_SOURCE_DIR) / "tests/cli/golden" / (std::string(GetParam().name) + suffix);
    if (std::getenv("QORLOG_UPDATE_GOLDEN") != nullptr) {
      WriteFile(path, actual);
      return;
    }
    ASSERT_TRUE(fs::exists(path)) << path;
    EXPECT_EQ(actual, ReadFile(path)) << path;
  }
  LogFolders logs_;
};

#ifdef _WIN32
// The cases whose golden files Windows cannot match, by the start of the
// name.
const std::pair<std::string_view, const char*> kNotOnWindows[] = {
    {"registry_error_", "Windows reads the system's registry, which a test cannot empty"},
    {"paths", "the registry is the system's, not a file named in the output"},
};
#endif

TEST_P(GoldenTest, OutputMatches) {
  QORLOG_SKIP_UNLESS_USABLE(logs_.scope());
  const Case& c = GetParam();
#ifdef _WIN32
  for (const auto& [prefix, reason] : kNotOnWindows) {
    if (std::string_view(c.name).starts_with(prefix)) GTEST_SKIP() << reason;
  }
#endif
  c.setup(logs_);
  std::vector<std::string> args;
  for (const std::string& arg : c.args) {
    args.push_back(
        Replace(Replace(arg, "<TMP>/pf", logs_.scope().path().string()), "<TMP>", logs_.env().root().string()));
  }
  const CliResult r = RunCli(args);
  Check(".stdout.exact", Stable(r.out));
  Check(".stderr.exact", Stable(r.err));
  Check(".exit", std::to_string(r.exit_code) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Cli, GoldenTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorlog::testing
