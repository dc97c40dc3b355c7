// The help of kdctl's commands: the one-line entry of --help and the
// paragraph and example of "help COMMAND", in one table.
#include <string_view>

#include "cli/cli.h"

namespace kd::cli {

namespace {

constexpr CommandHelp kHelp[] = {
    {"apply",
     "apply FILE [--keys K,...] [--banks N|Sys,...]  write chosen differences of FILE to "
     "the sensor, with backup and verify",
     "Connects, compares FILE with the sensor and writes only the settings that differ, as\n"
     "the comparison window's \"write chosen differences\" does: the sensor's settings are\n"
     "first saved to a backup file (named on the last line), every change is read back, and\n"
     "changed banks are made permanent. --keys takes key names (kdctl get --list), --banks\n"
     "bank numbers 1..8 and Sys; without them every difference is written. Prints the\n"
     "changes, or \"nothing to change\".",
     "kdctl --port ttyUSB0 apply line3.kd --keys Shutter,A1.Left --banks 1,2"},
    {"bank-copy",
     "bank-copy FROM TO|all       copy bank FROM (1..8) onto bank TO or onto all banks",
     "Connects and copies the settings of bank FROM onto bank TO, or onto every other bank\n"
     "with all, in the sensor; the copies are made permanent.",
     "kdctl --port ttyUSB0 bank-copy 1 all"},
    {"command", "command NAME [WORD ...]  send one sensor command, print the reply payload",
     "Sends the command NAME of the sensor's command catalogue with the payload WORDs\n"
     "(decimal or 0x hexadecimal, -32768..65535, at most 255) and prints the reply's payload\n"
     "bytes in hexadecimal. For service work: nothing checks what the command does.",
     "kdctl command GET_VERSION"},
    {"convert",
     "convert IN OUT [--allow-incomplete]  turn a parameter file into another format "
     "(.kd/.dalo/.vyn text, .bin raw)",
     "Reads the parameter file IN and writes it to OUT in the format of OUT's extension.\n"
     "A text file that lacks its Sys block or a bank is refused unless --allow-incomplete\n"
     "is given (what it lacks is then zero).",
     "kdctl convert backup.kd backup.bin"},
    {"diff",
     "diff A B|--sensor           settings that differ, as the comparison window shows "
     "them (exit 1 when any, 2 on an error)",
     "Compares the parameter file A with the file B, or with the connected sensor for\n"
     "--sensor, and prints one line per setting that differs: block, caption, A's value and\n"
     "B's value, as the comparison window shows them. Exit status 0 when they agree, 1 when\n"
     "any setting differs, 2 on an error.",
     "kdctl --port ttyUSB0 diff backup.kd --sensor"},
    {"dump", "dump FILE                   every setting of a parameter file by key name",
     "Prints every setting of the parameter FILE, one KEY=VALUE a line, block by block. A\n"
     "file that lacks a block is printed with a warning on stderr.",
     "kdctl dump backup.kd"},
    {"get",
     "get KEY... | --list         connect and print KEY=VALUE as the pages show them "
     "(list position or edit value; current bank)",
     "Connects and prints each KEY of the current bank (or the Sys block) as its page shows\n"
     "it: an edit's text, a list's 0-based position. --list prints every key name with its\n"
     "page and needs no sensor.",
     "kdctl --port ttyUSB0 get TrigAction Shutter"},
    {"memread",
     "memread ADDR WORDS [--mode M] [--wide]  read sensor memory (mode 0x111), "
     "sixteen words a line",
     "Reads WORDS 16-bit words from the sensor's memory at ADDR (decimal or 0x hexadecimal)\n"
     "and prints them in hexadecimal, sixteen a line. --mode M sets the transfer mode\n"
     "(0..0x3FF, default 0x111: words in order); WORDS must be a multiple of the mode's\n"
     "element size. --wide asks for large blocks (1012 words) where the sensor takes them.",
     "kdctl memread 0x100000 32 --mode 0x121"},
    {"profile", "profile FILE                fetch one live profile, save it as a profile file",
     "Connects, fetches the sensor's current profile and saves it as a \"#KEST profile\"\n"
     "file (one x,z point a line, in micrometres), which the profile views load.",
     "kdctl --port ttyUSB0 profile now.csv"},
    {"receive",
     "receive FILE                read all parameters and masters, save them "
     "(.kd/.dalo/.vyn text, .bin raw)",
     "Connects, reads the Sys block, all eight banks and their master profiles, and saves\n"
     "them to FILE in the format of its extension. The backup of a sensor.",
     "kdctl --port ttyUSB0 receive backup.kd"},
    {"send",
     "send FILE                   write a parameter file to the sensor and make it permanent",
     "Writes every block of the parameter FILE to the sensor and makes it permanent in its\n"
     "EEPROM. A file that lacks its Sys block or a bank is refused before connecting, and\n"
     "nothing is sent. The restore of a backup.",
     "kdctl --port ttyUSB0 send backup.kd"},
    {"set",
     "set KEY=VALUE... [--save]   connect and change settings as the pages take them; "
     "--save: permanent for the current bank",
     "Connects and changes each KEY of the current bank (or the Sys block) as its page takes\n"
     "a value: an edit the text typed into it, a list its 0-based position. A refused value\n"
     "exits 1 naming it; nothing is sent for it and --save makes nothing permanent. --save\n"
     "writes the current bank to the EEPROM when every value was taken.",
     "kdctl --port ttyUSB0 set TrigAction=1 InputFilter=7 --save"},
    {"storage",
     "storage status|start data|profile|stop|fetch FILE.csv|profiles FILE.csv  the "
     "sensor's storage: one status line, start, stop, download as CSV",
     "status prints one line (state, run, count, count2, buf). start data or start profile\n"
     "sends the storage settings of the sensor's parameters and starts recording values or\n"
     "profiles; stop ends it. fetch FILE.csv downloads the recorded values, profiles\n"
     "FILE.csv the recorded profiles, with progress on a terminal; Ctrl-C aborts, and what\n"
     "arrived goes to FILE.partial.csv (FILE.csv is written only when all arrived).",
     "kdctl --port ttyUSB0 storage fetch values.csv"},
    {"version",
     "version                     connect and print the sensor version (fpga:bios:soft) "
     "and sampling period",
     "Connects as the desktop program does and prints the sensor's version words\n"
     "fpga:bios:soft in hexadecimal and its sampling period.",
     "kdctl --port /dev/ttyUSB0 --baud 115200 version"},
    {"watch",
     "watch [--count N]           poll live values, one line per tick (ch= out= ana= "
     "status= link=)",
     "Polls the sensor as the measurement page does and prints one line per tick: the six\n"
     "channel values, the outputs, the analog current, the status word and the link state.\n"
     "--count N stops after N ticks; otherwise Ctrl-C stops. Exits 1 when a tick failed or\n"
     "the port went away.",
     "kdctl --port ttyUSB0 watch --count 10"},
    {"write-eeprom",
     "write-eeprom [--bank N]     make the settings permanent: all banks, or bank "
     "N (1..8)",
     "Connects and writes the sensor's current settings to its EEPROM: the Sys block and\n"
     "every bank, or only bank N with --bank.",
     "kdctl --port ttyUSB0 write-eeprom --bank 2"},
};

}  // namespace

std::span<const CommandHelp> CommandHelpTable() {
    return kHelp;
}

const CommandHelp* FindCommandHelp(std::string_view name) {
    for (const CommandHelp& h : kHelp)
        if (name == h.name) return &h;
    return nullptr;
}

}  // namespace kd::cli
