#include "tools/writer/DemoDatabase.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "tools/writer/ProfileText.h"

namespace ondrel::writer {

namespace {

constexpr std::array<const char*, 40> kSurnames = {
    "Abernathy", "Brennan",  "Castellano", "Dufresne", "Eriksen",   "Fairweather", "Gallagher", "Hollis",
    "Ishikawa",  "Jablonski", "Kowalczyk", "Lindqvist", "Mbeki",    "Nakamura",    "Okafor",    "Petrovic",
    "Quinlan",   "Rasmussen", "Szabo",     "Thornton",  "Ueda",     "Vasquez",     "Whitfield", "Yilmaz",
    "Zielinski", "Ashworth",  "Blackwood", "Carvalho",  "Delacroix", "Esposito",   "Fitzgerald", "Grunewald",
    "Hargreaves", "Iversen",  "Jovanovic", "Kaminski",  "Lachance", "Moreau",      "Novak",     "Oyelaran"};
constexpr std::array<const char*, 16> kTrades = {
    "Bakery",   "Hardware", "Joinery",   "Plumbing", "Printing",  "Textiles", "Haulage",   "Optics",
    "Catering", "Florists", "Pharmacy",  "Tailors",  "Garage",    "Dairy",    "Stationers", "Electrical"};
constexpr std::array<const char*, 6> kForms = {"Ltd", "& Sons", "Bros", "& Co", "Ltd", "Partners"};
constexpr std::array<const char*, 14> kCities = {"Aberdeen", "Bristol", "Cardiff", "Dundee",  "Exeter",
                                                 "Glasgow",  "Hull",    "Leeds",   "Norwich", "Oxford",
                                                 "Swansea",  "York",    "Belfast", "Inverness"};
constexpr std::array<const char*, 4> kRegions = {"NTH", "STH", "MID", "SCO"};

struct Product {
  const char* code;
  const char* description;
  const char* unit;
  int pence;
};
constexpr std::array<Product, 24> kProducts = {{
    {"BLT-M8", "Hex bolt M8 x 40 zinc", "BOX", 1250},
    {"BLT-M10", "Hex bolt M10 x 60 zinc", "BOX", 1875},
    {"NUT-M8", "Hex nut M8 zinc", "BOX", 640},
    {"WSH-M8", "Flat washer M8", "BOX", 380},
    {"SCR-4x40", "Wood screw 4 x 40 pozi", "BOX", 725},
    {"SCR-5x60", "Wood screw 5 x 60 pozi", "BOX", 960},
    {"HNG-100", "Butt hinge 100 mm brass", "PAIR", 1440},
    {"LCK-MORT", "Mortice lock 3 lever", "EACH", 2399},
    {"PNT-WHT5", "Emulsion white 5 litre", "TIN", 2150},
    {"PNT-MAG5", "Emulsion magnolia 5 litre", "TIN", 2150},
    {"BRS-50", "Paint brush 50 mm", "EACH", 495},
    {"RLR-230", "Roller set 230 mm", "SET", 1195},
    {"TAP-PVC", "PVC insulating tape", "ROLL", 149},
    {"CBL-2.5", "Twin and earth 2.5 mm", "M", 118},
    {"SKT-DBL", "Double socket switched", "EACH", 675},
    {"LMP-LED9", "LED lamp 9 W warm", "EACH", 399},
    {"PIP-15", "Copper pipe 15 mm", "M", 575},
    {"ELB-15", "Elbow 15 mm solder ring", "EACH", 89},
    {"VLV-ISO", "Isolating valve 15 mm", "EACH", 415},
    {"SIL-CLR", "Silicone sealant clear", "TUBE", 550},
    {"GLV-L", "Work gloves large", "PAIR", 325},
    {"TRW-280", "Plastering trowel 280 mm", "EACH", 1899},
    {"SND-120", "Sandpaper 120 grit", "PACK", 450},
    {"LDR-3", "Step ladder 3 tread", "EACH", 3495},
}};

// Deterministic numbers: the raw engine output is fixed by the standard for a
// given seed, and only plain modulo is used on it.
class Dice {
 public:
  explicit Dice(std::uint32_t seed) : engine_(seed) {}
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(engine_() % n); }

 private:
  std::mt19937 engine_;
};

std::string Digits(long long value, int width = 0) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*lld", width, value);
  return text;
}

// Money in pence as digits with two decimals, e.g. 123456 -> "1234.56".
std::string Money(long long pence) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", pence < 0 ? "-" : "", (pence < 0 ? -pence : pence) / 100,
                (pence < 0 ? -pence : pence) % 100);
  return text;
}

// YYYYMMDD of a day counted from 1970-01-01.
std::string Date(long long days) {
  days += 719468;
  const long long era = days / 146097;
  const long long doe = days - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  const long long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  return Digits(y, 4) + Digits(m, 2) + Digits(d, 2);
}

constexpr long long kDay2015 = 16436;  // 2015-01-01
constexpr long long kDay2019 = 17897;  // 2019-01-01

IspecContent Customers() {
  IspecContent s;
  s.name = "CUSTOMER";
  s.definition.fields = {
      {"CUSTNO", 1, "N", 6, 0, "0 K"},   {"NAME", 2, "A", 32, 0, "0"},   {"CITY", 3, "A", 12, 0, "0"},
      {"PHONE", 4, "A", 13, 0, "0"},     {"[REGION]", 5, "A", 3, 0, "0"}, {"BALANCE", 6, "N", 9, 2, "0"},
      {"LIMIT", 7, "N", 6, 0, "0"},      {"SINCE", 8, "D", 8, 0, "0"},   {"STATUS", 9, "A", 1, 0, "0"},
      {"contact", 10, "A", 18, 0, "0"},
  };
  Dice dice(20240611);
  for (int i = 0; i < kDemoCustomers; ++i) {
    const std::string surname = kSurnames[dice.Below(kSurnames.size())];
    const std::string name = surname + " " + kTrades[dice.Below(kTrades.size())] + " " + kForms[dice.Below(kForms.size())];
    const std::string city = kCities[dice.Below(kCities.size())];
    const std::string phone = "0" + Digits(1000 + dice.Below(9000)) + " " + Digits(100000 + dice.Below(900000));
    const long long limit = 1000LL * (1 + dice.Below(25));
    // Most accounts owe something, some are in credit, some are settled.
    const std::uint32_t kind = dice.Below(10);
    const long long balance = kind < 6 ? dice.Below(static_cast<std::uint32_t>(limit * 100))
                              : kind < 8 ? 0
                                         : -static_cast<long long>(dice.Below(50000));
    const std::uint32_t st = dice.Below(20);
    const std::string status = st < 15 ? "A" : st < 18 ? "H" : "C";
    const std::string contact = std::string("Mrs ") + kSurnames[dice.Below(kSurnames.size())];
    RecordContent r;
    r.values = {Digits(100100 + 7 * i), name,  city, phone, kRegions[dice.Below(kRegions.size())],
                Money(balance),          Digits(limit), Date(kDay2015 + dice.Below(3000)), status, contact};
    r.purged = dice.Below(25) == 0;
    s.records.push_back(std::move(r));
  }

  ProfileDef byNumber;
  byNumber.name = "CUSTNO";
  byNumber.keyFields = {{"CUSTNO"}};

  ProfileDef byName;
  byName.name = "BYNAME";
  byName.keyFields = {{"NAME"}, {"CUSTNO"}};
  byName.conditions = {{"STATUS", '3', ' ', "C"}};
  byName.select = [](std::uint32_t, const RecordContent& r) { return !r.purged && r.values[8] != "C"; };

  ProfileDef debtors;
  debtors.name = "DEBTORS";
  debtors.keyFields = {{"BALANCE", true}, {"CUSTNO", false, true}};
  debtors.conditions = {{"BALANCE", '1', '&', "GLB.ZEROS"}, {"STATUS", '0', ' ', "A"}};
  debtors.select = [](std::uint32_t, const RecordContent& r) {
    return !r.purged && r.values[8] == "A" && r.values[5] != "0.00" && r.values[5][0] != '-';
  };
  debtors.entryTail = 8;

  s.profiles = {byNumber, byName, debtors};
  return s;
}

IspecContent Orders() {
  IspecContent s;
  s.name = "ORDERS";
  s.nodeSize = 2048;
  s.definition.version = kOlderVersion;
  s.definition.fields = {
      {"ORDERNO", 1, "N", 7, 0, ""}, {"CUSTNO", 2, "N", 6, 0, ""},  {"ORDDATE", 3, "D", 8, 0, ""},
      {"PRODUCT", 4, "A", 8, 0, ""}, {"QTY", 5, "N", 4, 0, ""},     {"AMOUNT", 6, "N", 9, 2, ""},
      {"[CLERK]", 7, "A", 3, 0, ""}, {"STATUS", 8, "A", 1, 0, ""},
  };
  Dice dice(19991231);
  static constexpr std::array<const char*, 6> kClerks = {"AJB", "KLM", "RTW", "SPN", "DHO", "MEC"};
  for (int i = 0; i < kDemoOrders; ++i) {
    const Product& p = kProducts[dice.Below(kProducts.size())];
    const long long qty = 1 + dice.Below(40);
    const long long day = kDay2019 + (static_cast<long long>(i) * 2000) / kDemoOrders;
    // Older orders are invoiced; the newest ones are still open or shipped.
    const std::string status = i < kDemoOrders - 900 ? "I" : (dice.Below(2) == 0 ? "O" : "S");
    RecordContent r;
    r.values = {Digits(1000001 + i),
                Digits(100100 + 7 * static_cast<long long>(dice.Below(kDemoCustomers))),
                Date(day),
                p.code,
                Digits(qty),
                Money(qty * p.pence),
                kClerks[dice.Below(kClerks.size())],
                status};
    r.purged = dice.Below(100) == 0;
    s.records.push_back(std::move(r));
  }

  ProfileDef byNumber;
  byNumber.name = "ORDERNO";
  byNumber.keyFields = {{"ORDERNO"}};

  ProfileDef byCustomer;
  byCustomer.name = "BYCUST";
  byCustomer.keyFields = {{"CUSTNO"}, {"ORDDATE", true}};
  byCustomer.entryTail = 8;

  ProfileDef open;
  open.name = "OPEN";
  open.keyFields = {{"ORDDATE"}, {"ORDERNO"}};
  open.conditions = {{"STATUS", '0', '|', "O"}, {"STATUS", '0', ' ', "S"}};
  open.select = [](std::uint32_t, const RecordContent& r) { return !r.purged && r.values[7] != "I"; };

  s.profiles = {byNumber, byCustomer, open};
  return s;
}

IspecContent Products() {
  IspecContent s;
  s.name = "PRODUCT";
  s.definition.crlf = true;
  s.definition.fields = {
      {"CODE", 1, "A", 8, 0, "0"},     {"DESCRIPTION", 2, "A", 26, 0, "0"}, {"UNIT", 3, "A", 4, 0, "0"},
      {"PRICE", 4, "M", 6, 2, "0"},    {"STOCK", 5, "N", 5, 0, "0"},       {"[SUPPLIER]", 6, "A", 6, 0, "0"},
  };
  Dice dice(4242);
  for (const Product& p : kProducts) {
    RecordContent r;
    r.values = {p.code, p.description, p.unit, Money(p.pence), Digits(dice.Below(2500)),
                "SUP" + Digits(1 + dice.Below(40), 3)};
    s.records.push_back(std::move(r));
  }
  s.records[5].purged = true;

  ProfileDef byCode;
  byCode.name = "CODE";
  byCode.keyFields = {{"CODE"}};
  ProfileDef byDescription;
  byDescription.name = "BYDESC";
  byDescription.keyFields = {{"DESCRIPTION"}};
  byDescription.conditions = {{"DESCRIPTION", '3', ' ', "GLB.SPACES"}};
  s.profiles = {byCode, byDescription};
  return s;
}

}  // namespace

std::vector<IspecLayout> BuildDemoDatabase(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  return {BuildIspec(dir, Customers()), BuildIspec(dir, Orders()), BuildIspec(dir, Products())};
}

}  // namespace ondrel::writer
