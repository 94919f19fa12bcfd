#include "app/station.h"

namespace kavelin2 {

const char* Localized(const Station& st, const char* fr, const char* en, const char* es) {
  if (std::strncmp(st.CurrentLanguage, "Francais", sizeof st.CurrentLanguage) == 0) return fr;
  if (std::strncmp(st.CurrentLanguage, "Anglais", sizeof st.CurrentLanguage) == 0) return en;
  if (std::strncmp(st.CurrentLanguage, "Espagnol", sizeof st.CurrentLanguage) == 0) return es;
  return nullptr;
}

}  // namespace kavelin2
