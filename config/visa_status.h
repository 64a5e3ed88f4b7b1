#pragma once
// What the installation report says about VISA: the role of the suite's 32-bit VISA
// beside another vendor's, and the 64-bit VISA implementations that visaConfMgr.dll lists.
#include <cstddef>
#include <cstdint>

inline constexpr size_t kVisaStatusTextSize = 100;
inline constexpr int kVisaListSize = 10;
inline constexpr size_t kVisaListEntrySize = 256;

// Fills the suite's own and the other vendor's 32-bit VISA status texts (both zero-filled
// over their whole sizes first; both stay empty when the suite's VISA is not installed),
// judged from GetVisaPresence and the maker of visa32.dll in the 32-bit system folder.
// The presence read also refreshes the process-wide VisaPresent (SetVisaPresent).
void GetVisaStatusTexts(char* ownText, size_t ownSize, char* otherText, size_t otherSize);

// Asks visaConfMgr.dll (loaded at the first call, kept for the life of the process) for
// the 64-bit VISA implementations and returns how many it reports; their display names are
// left in the VISA list. A library that cannot be loaded, or lacks an entry, behaves as
// one whose entry fails: the listing stops as for any failure and no exception leaves
// the call. Only the first kVisaListSize implementations get a name; a negative count
// counts as 0.
int32_t ListInstalledVisa64();

// Entry index of the VISA list (empty for a failed index or one out of range).
const char* GetVisaListEntry(int index);
