// What veltaping says, as Windows-1250 bytes; the console seam turns them
// into what the terminal reads.
#pragma once

namespace velta::client::texts {

constexpr char kUsage[] =
    "Upotreba: veltaping [opcije] HOST[:PORT]\n"
    "Proverava server VeltaServer: \x9A" "alje okvire i proverava svaki bajt svakog odgovora.\n"
    "HOST je ime, IPv4 adresa ili IPv6 adresa u uglastim zagradama ([fe80::1]:11059);\n"
    "PORT je podrazumevano 11059.\n"
    "\n"
    "  -n BROJ     razmena po vezi (podrazumevano 4)\n"
    "  -t          dok se ne pritisne Ctrl+C\n"
    "  -l VELI\xC8" "INA bajtova u okviru; sufiksi k i m (1024); od 0 do 1024m (podrazumevano 32)\n"
    "  -i MS       od po\xE8" "etka jedne razmene do po\xE8" "etka slede\xE6" "e\n"
    "              (podrazumevano 1000; 0 bez \xE8" "ekanja)\n"
    "  -w MS       \xE8" "ekanje na vezu i na svaki odgovor (podrazumevano 4000)\n"
    "  -c VEZA     broj istovremenih veza (podrazumevano 1)\n"
    "  -b SEKUNDI  merenje propusnosti: okviri jedan za drugim, do 8 na putu po vezi\n"
    "  -q          bez reda po razmeni, samo zbir\n"
    "  --json      samo zbir, kao JSON objekat\n"
    "  -h, -?      ovo uputstvo\n"
    "\n"
    "Izlazni kod: 0 kad je svaki odgovor isti kao poslato, 1 kad je neki izgubljen ili pogre\x9A" "an\n"
    "ili server nije dostupan, 2 za pogre\x9A" "nu komandu ili nepoznato ime.\n";

constexpr char kReply[] = "Odgovor od ";
constexpr char kBytes[] = ": bajtova=";
constexpr char kTime[] = " vreme=";
constexpr char kWrongReply[] = "Pogre\x9A" "an odgovor od ";
constexpr char kWrongSent[] = " (poslato ";
constexpr char kNoReply[] = "Nema odgovora od ";
constexpr char kClosed[] = "Veza je prekinuta: ";
constexpr char kCannotConnect[] = "Povezivanje nije uspelo: ";
constexpr char kStatistics[] = "Statistika za ";
constexpr char kSent[] = "  poslato = ";
constexpr char kReceived[] = ", primljeno = ";
constexpr char kLost[] = ", izgubljeno = ";
constexpr char kWrong[] = ", pogre\x9A" "nih = ";
constexpr char kRtt[] = "  vreme odgovora (ms): min = ";
constexpr char kBandwidth[] = "  propusnost: ";
constexpr char kStopped[] = "Prekinuto (Ctrl+C).";
constexpr char kUnknownHost[] = "nepoznat host ";
constexpr char kBadOption[] = "pogre\x9A" "na opcija: ";
constexpr char kBadValue[] = "pogre\x9A" "na vrednost za ";
constexpr char kNoTarget[] = "nedostaje HOST";
constexpr char kBadTarget[] = "pogre\x9A" "an HOST[:PORT]: ";
constexpr char kNoNetwork[] = "mre\x9E" "a nije dostupna";

}  // namespace velta::client::texts
