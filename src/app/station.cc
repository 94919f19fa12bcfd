#include "app/station.h"

#include <unistd.h>

namespace kavelin2 {

void LineEntry::CloseExchangeFiles() {
  if (DataFile >= 0) ::close(DataFile);
  if (TableFile >= 0) ::close(TableFile);
  DataFile = TableFile = -1;
}

const char* Localized(const Station& st, const char* fr, const char* en, const char* es) {
  if (std::strncmp(st.CurrentLanguage, "Francais", sizeof st.CurrentLanguage) == 0) return fr;
  if (std::strncmp(st.CurrentLanguage, "Anglais", sizeof st.CurrentLanguage) == 0) return en;
  if (std::strncmp(st.CurrentLanguage, "Espagnol", sizeof st.CurrentLanguage) == 0) return es;
  return nullptr;
}

}  // namespace kavelin2
