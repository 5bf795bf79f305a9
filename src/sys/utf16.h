#ifndef RESGRAFT_SYS_UTF16_H_
#define RESGRAFT_SYS_UTF16_H_

#include <string_view>

namespace resgraft::sys {

// True when the two UTF-16 strings are the same text: equal after Unicode canonical
// composition (NFC), so precomposed and decomposed forms match, while case, width
// and kana type all count.
bool NamesEqual(std::u16string_view a, std::u16string_view b);

}  // namespace resgraft::sys

#endif  // RESGRAFT_SYS_UTF16_H_
