#pragma once
// The regional profile: the locale and publisher code tables and every value that depends on
// them. Every other piece of the launcher looks its regional values up here.

#include <cstdint>
#include <string>
#include <string_view>

enum LauncherLocale : int { kLocaleNull = 0, kLocaleKorea = 1, kLocaleJapan = 2, kLocaleChina = 3, kLocaleUsa = 4 };
enum LauncherPublisher : int {
  kPublisherNull = 0,
  kPublisherOrvex = 1,
  kPublisherKestril = 2,
  kPublisherVorn = 3,
  kPublisherHalverston = 4,
  kPublisherMirella = 5,
  kPublisherQuadrium = 6,
};

enum class WindowLayout { Korea, KoreaHalverston, Japan, JapanMirella, China, Usa };
enum class SecondButton { Exit, Registration };
enum class RegistryMark { None, ExecutablePath, HalverstonStatus };

// Code texts by number; numbers outside the tables give "NULL".
std::string_view LocaleCode(int locale);
std::string_view PublisherCode(int publisher);

// The number whose code equals `text` ignoring case (1..4 and 1..6), or 0 when none does.
int MatchLocaleCode(std::string_view text);
int MatchPublisherCode(std::string_view text);

// The publisher a locale forces (China and USA), or `publisher` unchanged.
int ForcedPublisher(int locale, int publisher);

struct RegionalProfile {
  uint16_t languageId;
  int fontCharset;
  WindowLayout layout;
  std::string patchHost;
  std::string patchPath;    // ends with "/"
  std::string noticePage;
  bool hasScreenModeChoice;
  bool hasServerList;       // login server panel and latency probe
  SecondButton secondButton;
};

// The profile of a locale and publisher; a locale outside 1..4 gets Korea's values with a
// publisher other than HALVERSTON.
RegionalProfile ProfileFor(int locale, int publisher);

// Values that depend on the publisher alone.
bool OpensGamePageWithoutCommandLine(int publisher);
std::string GamePage(int publisher);  // empty for publishers without one
RegistryMark RegistryMarkFor(int publisher);
std::string RegistrationPage();       // VORN's account registration page
std::string HelpDeskAddress();
