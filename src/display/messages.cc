#include "display/messages.h"

#include <cstring>
#include <iterator>
#include <utility>

namespace kavelin2 {
namespace {

struct Entry {
  Msg id;
  const char* fr;
  const char* en;
  const char* es;
  // Reads the same in every language and is shown even when the language is
  // unknown, as the station always has.
  bool every_language = false;
};

// A text that is not translated: the same bytes in every language.
constexpr Entry Same(Msg id, const char* text) { return {id, text, text, text, true}; }

// In the order of Msg. The spellings are the ones the station has always
// sent ("Unvailable", "imposible", "vasillo"...): the screens and the logs
// that people read and scripts parse depend on them.
constexpr Entry kEntries[] = {
    // Values of a line's state and phase fields.
    {Msg::kWaiting, "ATTENTE", "WAITING", "ESPERA"},
    {Msg::kOffLine, "INACTIF", "OFF LINE", "DESACTIVADO"},
    Same(Msg::kInit, "INIT"),
    Same(Msg::kModem, "MODEM"),
    Same(Msg::kIdentification, "IDENTIFICATION"),
    Same(Msg::kFromHandheld, "PORTABLE -> PC"),
    Same(Msg::kToHandheld, "PC -> PORTABLE"),
    {Msg::kHeader, "ENTETE", "HEAD", "ENCABEZADO"},
    {Msg::kInProgress, "EN COURS", "PROCESSING", "EN PROCESO"},
    {Msg::kEnd, "FIN", "END", "FINAL"},
    {Msg::kErrorState, "ERREUR", "ERROR", "ERROR"},
    Same(Msg::kTimeoutState, "TIMEOUT"),
    Same(Msg::kAppending, "AJOUT"),
    {Msg::kAppendFailedState, "AJOUT IMPOSSIBLE", "APPEND FAILED", "ANADIDO IMPOSIBLE"},
    {Msg::kDisconnected, "DECONNECTE", "DISCONNECTED", "DESCONECTADO"},

    // Message boxes, questions and captions.
    {Msg::kPortUnavailableBox, "Port %s indisponible.", "Unvailable port %s.",
     "Puerto %s inalienable."},
    {Msg::kCreatePathQuestion, "Chemin inexistant. Voulez vous le créer?",
     "Non existent path. Do you want to create it?", "Camino inexistente. Crear el camino?"},
    // The directory follows on the next line of the box.
    {Msg::kCannotCreateDirectory, "Création imposible du répertoire ",
     "Imposible creation of the directory ", "No es posible crear el directorio "},
    {Msg::kQuitQuestion, "Etes vous sur de vouloir quitter KAVELIN2 ?",
     "Are you sure to quit KAVELIN2 ?", "Esta seguro de querer salir de KAVELIN2 ?"},
    {Msg::kEmptyResultFile, "Fichier resultats vide.", "Empty result file.",
     "Fichero de resultados vasillo."},
    {Msg::kDeleteResultsQuestion, "Effacement du fichier resultats?", "Delete of the result file?",
     "Borrar el fichero de resultados?"},
    {Msg::kTableLineTooLong, "Format de la table incorrect \n Taille limitée à 60.",
     "Invalid table format \n limited to 60.",
     "Formato de la tabla incorrecto \n el tamaño no puede superar los 60."},
    {Msg::kTablePathCaption, "Chemin d'acces aux tables", "Access paths to the tables",
     "Camino de acceso a la tablas"},
    {Msg::kReceivedPathCaption, "Chemin d'acces aux fichiers recus",
     "Access paths to the received files", "Camino de acceso a los ficheros recibidos"},
    {Msg::kTransmitPathCaption, "Chemin d'acces aux fichiers a transmettre",
     "Access paths to the files to be transmitted",
     "Camino de acceso a los ficheros por transmitir"},
    {Msg::kLogPathCaption, "Chemin d'acces au fichier d'etat", "Access paths to the log file",
     "Camino de acceso al fichero de estado"},
    Same(Msg::kVersion, "Version 1.95"),

    // Log lines about settings, lines and directories.
    {Msg::kPortUnavailableLog, "Port %s indisponible: %s", "Unavailable port %s: %s",
     "Puerto %s no disponible: %s"},
    {Msg::kNotAPortName, "PORT%d: \"%.40s\" n'est pas un nom de port, %s reste",
     "PORT%d: \"%.40s\" is no port name, %s stays",
     "PORT%d: \"%.40s\" no es un nombre de puerto, %s queda"},
    // Written once the station has fallen back to French, so it is read in
    // French; the other two are for a station that falls back to them.
    {Msg::kUnknownLanguageSetting,
     "LANGUE.CFG ne contient aucune langue connue (Francais, Anglais, Espagnol): Francais utilise",
     "LANGUE.CFG holds no language the station knows (Francais, Anglais, Espagnol): using "
     "Francais",
     "LANGUE.CFG no contiene ninguna lengua conocida (Francais, Anglais, Espagnol): se usa "
     "Francais"},
    // The directory, then why it is missing.
    {Msg::kDirectoryNotCreated, "Repertoire %s absent et non cree: %s",
     "Directory %s missing and not created: %s", "Directorio %s ausente y no creado: %s"},
    // Stands beside the system's own (English) reasons in the line above.
    Same(Msg::kCreationDeclined, "creation declined"),
    {Msg::kDeviceLostLog, "Ligne %d : appareil %s perdu : %s ; il sera rouvert des son retour",
     "Line %d: device %s lost: %s; it is reopened as soon as it is back",
     "Linea %d: dispositivo %s perdido: %s; se reabrira en cuanto vuelva"},
    {Msg::kDeviceBackLog, "Ligne %d : appareil %s de nouveau ouvert, la ligne est servie",
     "Line %d: device %s open again, the line is served",
     "Linea %d: dispositivo %s abierto de nuevo, la linea se sirve"},
    // For whoever repairs the received-files directory by hand, in the words
    // the station has always used for it.
    Same(Msg::kUploadStuck,
         "line %d: append to %s failed and %s cannot be kept aside; the line takes no upload "
         "until it can"),

    // The summary line of an exchange and its parts.
    {Msg::kExchangeSummary, "Ligne %d, portable %s : %s, %ld s ; recus : %s ; envoyes : %s",
     "Line %d, handheld %s: %s, %ld s; received: %s; sent: %s",
     "Linea %d, portatil %s: %s, %ld s; recibidos: %s; enviados: %s"},
    {Msg::kNoFiles, "aucun", "none", "ninguno"},
    {Msg::kFileItem, "%s (%d enreg., %lld octets)", "%s (%d records, %lld bytes)",
     "%s (%d registros, %lld bytes)"},
    {Msg::kMoreFiles, " et %d autres", " and %d more", " y %d mas"},
    {Msg::kHeaderRefused, "; entete %s refusee", "; header %s refused",
     "; encabezado %s rechazado"},
    {Msg::kGenericError, "erreur", "error", "error"},

    // Why an exchange failed.
    {Msg::kTimeoutsInARow, "11 time-out de suite", "11 time-outs in a row", "11 time-out seguidos"},
    {Msg::kNaksInARow, "11 NAK de suite", "11 NAKs in a row", "11 NAK seguidos"},
    {Msg::kReceivedFileRejected, "fichier recu rejete (taille ou disque)",
     "received file rejected (size or disk)", "fichero recibido rechazado (tamano o disco)"},
    {Msg::kDeviceLost, "appareil perdu", "device lost", "dispositivo perdido"},
    {Msg::kWriteFailure, "echec d'ecriture", "write failure", "fallo de escritura"},
    {Msg::kUploadNotStored, "fichier recu non enregistre", "received file not stored",
     "fichero recibido no guardado"},

    // Warnings about what a handheld was not sent or an upload kept aside.
    {Msg::kWarning, "ATTENTION", "WARNING", "AVISO"},
    {Msg::kEntrySkipped, "%s Ligne %d, portable %s : entree '%s' de la table ignoree : %s",
     "%s Line %d, handheld %s: table entry '%s' skipped: %s",
     "%s Linea %d, portatil %s: entrada '%s' de la tabla omitida: %s"},
    {Msg::kUnsafeName, "nom refuse", "unsafe name", "nombre rechazado"},
    {Msg::kMissingFile, "fichier absent", "missing file", "fichero ausente"},
    {Msg::kUnsendableSize, "taille impossible a envoyer", "size cannot be sent",
     "tamano imposible de enviar"},
    {Msg::kUnsendableSizeDetail, "%lld octets, blocs de '%.3s'", "%lld bytes, blocks of '%.3s'",
     "%lld bytes, bloques de '%.3s'"},
    {Msg::kNoTable, "%s Ligne %d, portable %s : pas de fichier table %s, rien a envoyer",
     "%s Line %d, handheld %s: no table file %s, nothing to send",
     "%s Linea %d, portatil %s: sin fichero de tabla %s, nada que enviar"},
    {Msg::kAppendFailedLog,
     "%s Ligne %d, portable %s : ajout de %s impossible, fichier garde sous %s",
     "%s Line %d, handheld %s: append of %s failed, upload kept as %s",
     "%s Linea %d, portatil %s: anadido de %s imposible, fichero guardado como %s"},
    {Msg::kRepeatKeptLog,
     "%s Ligne %d, portable %s : %s renvoye alors qu'il etait deja ajoute au redemarrage, "
     "garde sous %s",
     "%s Line %d, handheld %s: %s sent again after its append was completed at restart, kept "
     "as %s",
     "%s Linea %d, portatil %s: %s enviado de nuevo tras completarse su anadido al reiniciar, "
     "guardado como %s"},
};

constexpr bool InIdOrder() {
  for (size_t i = 0; i < std::size(kEntries); ++i) {
    if (static_cast<size_t>(kEntries[i].id) != i) return false;
  }
  return true;
}
static_assert(std::size(kEntries) == kMsgCount, "one entry for every Msg");
static_assert(InIdOrder(), "entries in the order of Msg, so that an id is its index");

}  // namespace

Language LanguageNamed(const char* field, size_t size) {
  // The field need not be terminated when the name fills it.
  const size_t length = strnlen(field, size);
  for (auto [name, language] :
       {std::pair{"Francais", Language::kFrench}, std::pair{"Anglais", Language::kEnglish},
        std::pair{"Espagnol", Language::kSpanish}}) {
    if (length == std::strlen(name) && std::memcmp(field, name, length) == 0) return language;
  }
  return Language::kUnknown;
}

Language LogLanguage(Language language) {
  return language == Language::kUnknown ? Language::kEnglish : language;
}

const char* Text(Language language, Msg id) {
  const size_t index = static_cast<size_t>(id);
  if (index >= std::size(kEntries)) return nullptr;
  const Entry& e = kEntries[index];
  switch (language) {
    case Language::kFrench:
      return e.fr;
    case Language::kEnglish:
      return e.en;
    case Language::kSpanish:
      return e.es;
    case Language::kUnknown:
      break;
  }
  return e.every_language ? e.en : nullptr;
}

}  // namespace kavelin2
