#include "app/Profiles.h"

#include <array>

#include "platform/AsciiText.h"

namespace {

constexpr std::array<std::string_view, 5> kLocaleCodes = {"NULL", "KOREA", "JAPAN", "CHINA", "USA"};
constexpr std::array<std::string_view, 7> kPublisherCodes = {"NULL",       "ORVEX",   "KESTRIL", "VORN",
                                                             "HALVERSTON", "MIRELLA", "QUADRIUM"};

// Host names and page addresses are configuration. They live under the reserved top-level
// domain "example", so a build that was never configured contacts nothing real.
namespace hosts {
constexpr const char* kKoreaPatch = "patch.kr.solane.example";
constexpr const char* kJapanPatch = "patch.jp.solane.example";
constexpr const char* kVornPatch = "patch.vorn.solane.example";
constexpr const char* kQuadriumPatch = "patch.quadrium.solane.example";
constexpr const char* kKoreaNotice = "http://notice.kr.solane.example/NGameNotice/Notice.asp?TypeID=11";
constexpr const char* kHalverstonNotice = "http://notice.halverston.solane.example/GameNotice/Notice.asp?TypeID=11";
constexpr const char* kJapanNotice = "http://patch.jp.solane.example/solane/patch_inf/notice.html";
constexpr const char* kMirellaNotice = "http://www.jp.solane.example/patch_inf/mirella_notice.html";
constexpr const char* kVornNotice = "http://www.vorn.solane.example/project/gamestart/index.asp";
constexpr const char* kQuadriumNotice = "http://launcher.quadrium.solane.example/notice.html";
constexpr const char* kHalverstonGame = "http://www.halverston.solane.example/solane/";
constexpr const char* kMirellaGame = "http://www.mirella.solane.example/solane/";
constexpr const char* kVornRegistration = "http://member.vorn.solane.example/register.asp?from=39";
}  // namespace hosts

template <size_t N>
int MatchCode(const std::array<std::string_view, N>& codes, std::string_view text) {
  for (size_t i = 1; i < N; ++i)
    if (platform::EqualsIgnoringCase(text, codes[i])) return static_cast<int>(i);
  return 0;
}

}  // namespace

std::string_view LocaleCode(int locale) {
  return locale >= 0 && locale < static_cast<int>(kLocaleCodes.size()) ? kLocaleCodes[locale] : kLocaleCodes[0];
}

std::string_view PublisherCode(int publisher) {
  return publisher >= 0 && publisher < static_cast<int>(kPublisherCodes.size()) ? kPublisherCodes[publisher]
                                                                                : kPublisherCodes[0];
}

int MatchLocaleCode(std::string_view text) { return MatchCode(kLocaleCodes, text); }
int MatchPublisherCode(std::string_view text) { return MatchCode(kPublisherCodes, text); }

int ForcedPublisher(int locale, int publisher) {
  if (locale == kLocaleChina) return kPublisherVorn;
  if (locale == kLocaleUsa) return kPublisherQuadrium;
  return publisher;
}

RegionalProfile ProfileFor(int locale, int publisher) {
  switch (locale) {
    case kLocaleJapan: {
      bool mirella = publisher == kPublisherMirella;
      return {1041, 128, mirella ? WindowLayout::JapanMirella : WindowLayout::Japan, hosts::kJapanPatch,
              mirella ? "solane/patch/Solane-Mirella/" : "solane/patch/",
              mirella ? hosts::kMirellaNotice : hosts::kJapanNotice, true, false, SecondButton::Exit};
    }
    case kLocaleChina:
      return {2052, 134, WindowLayout::China, hosts::kVornPatch, "solane/solane/", hosts::kVornNotice,
              false, true, SecondButton::Registration};
    case kLocaleUsa:
      return {1033, 1, WindowLayout::Usa, hosts::kQuadriumPatch, "games/Solane/", hosts::kQuadriumNotice,
              true, true, SecondButton::Exit};
    case kLocaleKorea:
    default: {
      bool halverston = locale == kLocaleKorea && publisher == kPublisherHalverston;
      return {1042, 1, halverston ? WindowLayout::KoreaHalverston : WindowLayout::Korea, hosts::kKoreaPatch,
              halverston ? "orvexweb/solanehalverston/" : "orvexweb/solane/",
              halverston ? hosts::kHalverstonNotice : hosts::kKoreaNotice, true, false, SecondButton::Exit};
    }
  }
}

bool OpensGamePageWithoutCommandLine(int publisher) {
  return publisher == kPublisherHalverston || publisher == kPublisherMirella;
}

std::string GamePage(int publisher) {
  if (publisher == kPublisherHalverston) return hosts::kHalverstonGame;
  if (publisher == kPublisherMirella) return hosts::kMirellaGame;
  return {};
}

RegistryMark RegistryMarkFor(int publisher) {
  if (publisher == kPublisherOrvex) return RegistryMark::ExecutablePath;
  if (publisher == kPublisherHalverston) return RegistryMark::HalverstonStatus;
  return RegistryMark::None;
}

std::string RegistrationPage() { return hosts::kVornRegistration; }
std::string HelpDeskAddress() { return SOLANE_HELPDESK_ADDRESS; }
