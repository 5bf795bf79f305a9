#include "sys/utf16.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace resgraft::sys {
namespace {

// NFC of `text`, or nothing when ICU cannot give it.
bool ComposedForm(std::u16string_view text, icu::UnicodeString& out) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return false;
  const icu::UnicodeString source(false, text.data(), static_cast<int32_t>(text.size()));
  out = nfc->normalize(source, status);
  return U_SUCCESS(status);
}

}  // namespace

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a == b) return true;
  // Resource names are short: normalising both sides costs less than deciding
  // whether either needs it.
  icu::UnicodeString composed_a;
  icu::UnicodeString composed_b;
  if (!ComposedForm(a, composed_a) || !ComposedForm(b, composed_b)) return false;
  return composed_a == composed_b;
}

}  // namespace resgraft::sys
