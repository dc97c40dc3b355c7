#include "compare/compare_apply.h"

#include <algorithm>
#include <initializer_list>
#include <set>
#include <string_view>

#include "common/kest_error.h"
#include "common/log.h"
#include "link/commands.h"

namespace kd {

namespace {

constexpr int kAllBanksEpm = 15;

// Image words of a block: the Sys block (bank -1) or a bank.
int BlockFirst(int bank) {
    return bank < 0 ? kSysWord : BankStartWord(bank);
}
int BlockWords(int bank) {
    return bank < 0 ? kSysWords : kBankWords;
}
std::string BlockName(int bank) {
    return bank < 0 ? "Sys" : "Bank" + std::to_string(bank + 1);
}

int ValueOf(const TKestParam& p, int key, int bank) {
    return bank < 0 ? p.GetSys(key) : p.GetBank(bank, key);
}

std::string Join(const std::vector<int>& blocks, const std::string& none) {
    std::string s;
    for (int b : blocks) s += (s.empty() ? "" : ", ") + BlockName(b);
    return s.empty() ? none : s;
}

// A text of the string tables with its "%s" filled in order; what is filled
// in is never read for further "%s".
std::string Fill(std::string_view text, std::initializer_list<std::string> args) {
    std::string out;
    auto arg = args.begin();
    size_t pos = 0;
    for (size_t p; (p = text.find("%s", pos)) != std::string_view::npos && arg != args.end();
         pos = p + 2, ++arg)
        out.append(text.substr(pos, p - pos)).append(*arg);
    return out.append(text.substr(pos));
}

// Writes the words of one block that differ between target and image, in runs.
int WriteBlock(TKestThread& thread, const TKestParam& target, const TKestParam& image, int bank) {
    const int first = BlockFirst(bank), count = BlockWords(bank);
    int written = 0;
    for (int i = 0; i < count;) {
        if (target.Word(first + i) == image.Word(first + i)) {
            ++i;
            continue;
        }
        int end = i;
        while (end < count && target.Word(first + end) != image.Word(first + end)) ++end;
        std::vector<uint16_t> words;
        for (int w = i; w < end; ++w) words.push_back(target.Word(first + w));
        const uint32_t address = static_cast<uint32_t>(kSensorWordBase + first + i);
        thread.MemWrite(words.data(), address, kModeWrite, end - i);
        WriteLog(kLogPlain, "MemWrite(0x%X, %dwords)", address, end - i);
        written += end - i;
        i = end;
    }
    return written;
}

}  // namespace

std::vector<TApplyChange> PlanApply(const TKestParam& file, const TKestParam& sensor,
                                    const std::function<bool(int row, int bank)>& chosen) {
    std::vector<TApplyChange> changes;
    if (file.NotLoaded) return changes;
    std::set<std::pair<int, int>> seen;  // (bank, key)
    auto add = [&](int r, int key, int bank) {
        if (!seen.insert({bank, key}).second) return;
        const int from = ValueOf(sensor, key, bank), to = ValueOf(file, key, bank);
        if (from != to) changes.push_back({r, key, bank, from, to});
    };
    const auto& rows = CompareRows();
    for (int r = 0; r < kCompareRowCount; ++r) {
        const TCompareRow& row = rows[static_cast<size_t>(r)];
        if (IsSysRow(row)) {
            if (!(file.MissingBlocks & kValidSys) && chosen(r, -1)) add(r, row.Key, -1);
            continue;
        }
        for (int j = 0; j < kBankCount; ++j) {
            if (file.MissingBlocks & (1u << j)) continue;
            if (!chosen(r, j)) continue;
            if (row.Key != 0) add(r, row.Key, j);
            if (const int offsetKey = ShownOffsetKey(row, sensor, j)) add(r, offsetKey, j);
        }
    }
    return changes;
}

std::string ChangeListText(const std::vector<TApplyChange>& changes, const TKestParam& file,
                           const TKestParam& sensor, const TCompareTexts& texts) {
    std::string out;
    auto flat = [](std::string s) {
        std::replace(s.begin(), s.end(), '\t', ' ');
        return s;
    };
    for (const TApplyChange& c : changes) {
        TCompareRow row = CompareRows()[static_cast<size_t>(c.Row)];
        if (c.Key != row.Key) row = OffsetRowOf(row);  // the channel offset of a limit
        const int bank = c.Bank < 0 ? 0 : c.Bank;
        std::string label = CompareLabelText(row, texts);
        if (label.empty() && row.KeyName) label = row.KeyName;
        out += BlockName(c.Bank) + "  " + CompareGroupText(row, texts) + "  " + label + ": " +
               flat(CompareCellText(row, &sensor, &sensor, bank, texts)) + " -> " +
               flat(CompareCellText(row, &file, &sensor, bank, texts)) + "\n";
    }
    return out;
}

TApplyResult ApplyChanges(TKestSession& session, TKestThread& thread, TKestParam& image,
                          const std::vector<TApplyChange>& changes, const TCompareTexts& texts) {
    TApplyResult result;
    if (changes.empty()) return result;
    auto tr = [&texts](std::string_view name, std::string_view def) {
        return texts.Translate ? texts.Translate(name, def) : std::string(def);
    };

    // The sensor's settings as they stand, before anything is written.
    result.Backup = session.BackupSettings("apply");

    TKestParam target;
    target.Image = image.Image;
    std::set<int> blocks;  // -1 for Sys, then banks ascending
    for (const TApplyChange& c : changes) {
        if (c.Bank < 0)
            target.SetSys(c.Key, c.To);
        else
            target.SetBank(c.Bank, c.Key, c.To);
        blocks.insert(c.Bank);
    }
    const int current = image.GetSys(pk::Bank);
    std::vector<int> done, pending(blocks.begin(), blocks.end());
    // banks first, the Sys block last (its EEPROM write covers every bank)
    std::rotate(pending.begin(),
                std::find_if(pending.begin(), pending.end(), [](int b) { return b >= 0; }),
                pending.end());
    bool currentTouched = false;
    bool memWritten = false;  // the failing block's words all reached the sensor
    try {
        while (!pending.empty()) {
            const int b = pending.front();
            memWritten = false;
            result.WordsWritten += WriteBlock(thread, target, image, b);
            memWritten = true;
            const int first = BlockFirst(b), count = BlockWords(b);
            // From here the sensor's working memory holds the block as written.
            std::copy_n(target.Image.begin() + 2 * first, 2 * count,
                        image.Image.begin() + 2 * first);
            if (b == current || b < 0) currentTouched = true;
            if (currentTouched) {
                session.SysUpdateIgnoringFailure();
                currentTouched = false;
            }
            thread.EpmWrite(b < 0 ? kAllBanksEpm : b);
            if (b < 0) {
                WriteLog(kLogPlain, "EPM_WRITE(ALL)");
                result.SysWritten = true;
            } else {
                WriteLog(kLogPlain, "EPM_WRITE(%d)", b);
                result.BanksWritten.push_back(b);
            }
            done.push_back(b);
            pending.erase(pending.begin());
        }
    } catch (const std::exception& e) {
        const int b = pending.front();
        pending.erase(pending.begin());
        std::string text =
            Fill(tr("compare_write_failed", "Writing to the sensor failed at %s: %s"),
                 {BlockName(b), e.what()});
        text += "\n" + Fill(tr("compare_written_permanent", "written and made permanent: %s"),
                            {Join(done, tr("compare_none", "none"))});
        if (memWritten) {
            // The sensor works with the block; only its EEPROM copy is old.
            image.SetSensorModified(true);
            text += "\n" +
                    Fill(tr("compare_written_not_permanent", "written but not made permanent: %s"),
                         {BlockName(b)});
        } else {
            // What reached the failing block is in doubt: it is no longer whole.
            image.ValidMask &= ~(b < 0 ? kValidSys : (1u << b));
            text += "\n" + Fill(tr("compare_not_completely_written", "not completely written: %s"),
                                {BlockName(b)});
        }
        if (!pending.empty())
            text += "\n" + Fill(tr("compare_not_written", "not written: %s"),
                                {Join(pending, tr("compare_none", "none"))});
        text += "\n" + Fill(tr("compare_backup_holds",
                               "The backup %s holds the sensor's settings from before."),
                            {result.Backup});
        WriteLog(kLogError, "%s", text.c_str());
        session.RefreshAll();
        throw EKestError(text);
    }

    // Read back what was touched and check every chosen value.
    TKestParam readBack;
    readBack.Image = image.Image;
    for (int b : done) {
        const int first = BlockFirst(b), count = BlockWords(b);
        std::vector<uint16_t> words(static_cast<size_t>(count));
        thread.MemRead(words.data(), static_cast<uint32_t>(kSensorWordBase + first), kModeWords,
                       count);
        for (int i = 0; i < count; ++i) readBack.SetWord(first + i, words[static_cast<size_t>(i)]);
    }
    std::string wrong;
    for (const TApplyChange& c : changes) {
        const int held = ValueOf(readBack, c.Key, c.Bank);
        if (held != c.To) {
            const auto ref = FindKeyById(c.Key);
            wrong += (wrong.empty() ? "" : ", ") + BlockName(c.Bank) + " " +
                     (ref ? ref->Entry->Name : std::to_string(c.Key)) + " " + std::to_string(held) +
                     " (" + std::to_string(c.To) + ")";
        }
    }
    image.Image = readBack.Image;
    for (int b : done) image.ValidMask |= b < 0 ? kValidSys : (1u << b);
    image.SetFileModified(true);
    session.RefreshAll();
    if (!wrong.empty())
        throw EKestError(
            Fill(tr("compare_not_held", "The sensor does not hold the chosen values: %s"),
                 {wrong}) +
            "\n" +
            Fill(tr("compare_backup_holds",
                    "The backup %s holds the sensor's settings from before."),
                 {result.Backup}));
    WriteLog(kLogAction, "wrote %d settings to the sensor (%d words)",
             static_cast<int>(changes.size()), result.WordsWritten);
    return result;
}

}  // namespace kd
