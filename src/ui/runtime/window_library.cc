#include "ui/runtime/window_library.h"

namespace kavelin2::uirt {

const char* Text3::For(int nation) const {
  if (nation == 3) return en;
  if (nation == 7) return es;
  return fr;
}

namespace {

const std::vector<Choice> kSpeeds = {{1, "256000"}, {2, "115200"}, {3, "57600"}, {4, "38400"},
                                     {5, "19200"},  {6, "9600"},   {7, "2400"},  {8, "1200"}};
const std::vector<Choice> kDataBits = {{1, "7"}, {2, "8"}};
const std::vector<Choice> kParities = {{1, "N"}, {2, "E"}, {3, "O"}, {4, "M"}};
const std::vector<Choice> kStopBits = {{1, "1"}, {2, "1.5"}, {3, "2"}};

const ActionSpec kOk = {"*V*", nullptr, {"Valider", "OK", "Aceptar"}};
const ActionSpec kCancel = {"ESC", nullptr, {"Annuler", "Cancel", "Cancelar"}};

// The seven fields of one line of the port window.
void AddPortLine(std::vector<FieldSpec>& fields, int line) {
  static const char* const kNames[2][7] = {
      {"ACTIVE1", "PORT1", "VITESSE1", "DONNEES1", "PARITE1", "STOPBIT1", "IRDA1"},
      {"ACTIVE2", "PORT2", "VITESSE2", "DONNEES2", "PARITE2", "STOPBIT2", "IRDA2"}};
  const char* const* n = kNames[line - 1];
  fields.push_back({n[0], {"Active", "Active", "Activa"}, FieldKind::kFlag, 1, {}});
  fields.push_back({n[1], {"Port COM", "COM port", "Puerto COM"}, FieldKind::kPort, 1, {}});
  fields.push_back({n[2], {"Vitesse", "Speed", "Velocidad"}, FieldKind::kChoice, 6, kSpeeds});
  fields.push_back({n[3], {"Donnees", "Data bits", "Datos"}, FieldKind::kChoice, 1, kDataBits});
  fields.push_back({n[4], {"Parite", "Parity", "Paridad"}, FieldKind::kChoice, 1, kParities});
  fields.push_back({n[5], {"Stop", "Stop bits", "Stop"}, FieldKind::kChoice, 3, kStopBits});
  fields.push_back({n[6], {"Infrarouge", "Infrared", "Infrarrojo"}, FieldKind::kFlag, 1, {}});
}

// The display fields of one line of the on-line window.
void AddOnLineLine(std::vector<FieldSpec>& fields, int line) {
  static const char* const kNames[2][10] = {
      {"PHASE,1", "ETAT,1", "PORTABLE,1", "FICHIER,1", "BLOCS,1", "TRANS,1", "TEMPS,1", "timeout,1",
       "ETATIMG1", "RESULTAT,1"},
      {"PHASE,2", "ETAT,2", "PORTABLE,2", "FICHIER,2", "BLOCS,2", "TRANS,2", "TEMPS,2", "timeout,2",
       "ETATIMG2", "RESULTAT,2"}};
  const char* const* n = kNames[line - 1];
  const FieldKind d = FieldKind::kDisplay;
  fields.push_back({n[0], {"Phase", "Phase", "Fase"}, d, 20, {}});
  fields.push_back({n[1], {"Etat", "State", "Estado"}, d, 20, {}});
  fields.push_back({n[2], {"Portable", "Handheld", "Portatil"}, d, 3, {}});
  fields.push_back({n[3], {"Fichier", "File", "Fichero"}, d, 14, {}});
  fields.push_back({n[4], {"Blocs", "Blocks", "Bloques"}, d, 6, {}});
  fields.push_back({n[5], {"Transfert", "Transfer", "Transferencia"}, d, 6, {}});
  fields.push_back({n[6], {"Temps", "Time", "Tiempo"}, d, 8, {}});
  fields.push_back({n[7], {"Time-out", "Time-out", "Time-out"}, d, 3, {}});
  fields.push_back({n[8], {"Liaison", "Link", "Enlace"}, d, 12, {}});
  // The last exchange's result and, for a failure, its reason.
  fields.push_back({n[9], {"Dernier echange", "Last exchange", "Ultimo intercambio"}, d, 66, {}});
}

std::vector<WindowSpec> BuildLibrary() {
  std::vector<WindowSpec> w;

  w.push_back({"MENU.WDW",
               {"KAVELIN2 - Menu principal", "KAVELIN2 - Main menu", "KAVELIN2 - Menu principal"},
               {},
               {{"*B*", nullptr, {"Passer en ligne", "Go on line", "Conectar"}},
                {"*M*", "PP", {"Ports serie", "Serial ports", "Puertos serie"}},
                {"*M*", "PM", {"Modems", "Modems", "Modems"}},
                {"*M*", "PE", {"Chemins", "Paths", "Caminos"}},
                {"*M*", "PF", {"Options fichiers", "File options", "Opciones de ficheros"}},
                {"*M*", "PD", {"Programmation", "Schedule", "Programacion"}},
                {"*M*", "PA", {"Langue", "Language", "Idioma"}},
                {"*M*", "UA", {"Lancer programme C", "Run program C", "Ejecutar programa C"}},
                {"*M*", "UD", {"Lancer programme D", "Run program D", "Ejecutar programa D"}},
                {"*M*", "UT", {"Lancer programme fin", "Run end program", "Ejecutar programa fin"}},
                {"*M*", "UP", {"Lancer PROG.BAT", "Run PROG.BAT", "Ejecutar PROG.BAT"}},
                {"*M*", "RV", {"Voir resultats", "View results", "Ver resultados"}},
                {"*M*", "RR", {"Effacer resultats", "Delete results", "Borrar resultados"}},
                {"*M*", "A", {"A propos", "About", "Acerca de"}},
                {"*M*", "PI", {"Quitter", "Quit", "Salir"}}},
               "ESC",
               nullptr});

  w.push_back({"APROPOS.WDW",
               {"A propos de KAVELIN2", "About KAVELIN2", "Acerca de KAVELIN2"},
               {{"VERSION", {"Version", "Version", "Version"}, FieldKind::kDisplay, 20, {}}},
               {{"ESC", nullptr, {"Fermer", "Close", "Cerrar"}}},
               "ESC",
               nullptr});

  {
    WindowSpec on{"KAVELIN2.WDW",
                  {"KAVELIN2 - En ligne", "KAVELIN2 - On line", "KAVELIN2 - Conectado"},
                  {},
                  {{"*P*", nullptr, {"Arreter", "Stop", "Parar"}}},
                  "ESC",
                  "*N*"};
    AddOnLineLine(on.fields, 1);
    AddOnLineLine(on.fields, 2);
    on.fields.push_back({"HEURE", {"Heure", "Time", "Hora"}, FieldKind::kDisplay, 8, {}});
    w.push_back(std::move(on));
  }

  {
    WindowSpec serie{"SERIE.WDW", {"Ports serie", "Serial ports", "Puertos serie"},
                     {},          {kOk, kCancel},
                     "ESC",       nullptr};
    AddPortLine(serie.fields, 1);
    AddPortLine(serie.fields, 2);
    w.push_back(std::move(serie));
  }

  w.push_back(
      {"MODEM.WDW",
       {"Modems", "Modems", "Modems"},
       {{"PRESENT1", {"Modem ligne 1", "Modem line 1", "Modem linea 1"}, FieldKind::kFlag, 1, {}},
        {"MODEM1",
         {"Commande ligne 1", "Command line 1", "Comando linea 1"},
         FieldKind::kText,
         30,
         {}},
        {"PRESENT2", {"Modem ligne 2", "Modem line 2", "Modem linea 2"}, FieldKind::kFlag, 1, {}},
        {"MODEM2",
         {"Commande ligne 2", "Command line 2", "Comando linea 2"},
         FieldKind::kText,
         30,
         {}}},
       {kOk, kCancel},
       "ESC",
       nullptr});

  w.push_back(
      {"CHEMIN.WDW",
       {"Chemins", "Paths", "Caminos"},
       {{"TABLE", {"Tables", "Tables", "Tablas"}, FieldKind::kText, 80, {}},
        {"RECU",
         {"Fichiers recus", "Received files", "Ficheros recibidos"},
         FieldKind::kText,
         80,
         {}},
        {"TRANS",
         {"Fichiers a transmettre", "Files to transmit", "Ficheros por transmitir"},
         FieldKind::kText,
         80,
         {}},
        {"FICLOG", {"Fichier d'etat", "Log file", "Fichero de estado"}, FieldKind::kText, 80, {}}},
       {{"*B*", nullptr, {"Parcourir tables", "Browse tables", "Buscar tablas"}},
        {"*R*", nullptr, {"Parcourir recus", "Browse received", "Buscar recibidos"}},
        {"*T*",
         nullptr,
         {"Parcourir a transmettre", "Browse to transmit", "Buscar por transmitir"}},
        {"*L*", nullptr, {"Parcourir etat", "Browse log", "Buscar estado"}},
        kOk,
        {"*A*", nullptr, {"Annuler", "Cancel", "Cancelar"}}},
       "*A*",
       nullptr});

  w.push_back(
      {"SELREP.WDW",
       {"Choix du repertoire", "Choose a directory", "Elegir el directorio"},
       {{"REPERTOIRE", {"Repertoire", "Directory", "Directorio"}, FieldKind::kText, 80, {}}},
       {kOk, kCancel},
       "ESC",
       nullptr});

  w.push_back(
      {"FICHIERS.WDW",
       {"Options fichiers", "File options", "Opciones de ficheros"},
       {{"SUP_FIC",
         {"Effacer les fichiers transmis", "Delete sent files", "Borrar los ficheros transmitidos"},
         FieldKind::kFlag,
         1,
         {}},
        {"APPEND",
         {"Ajout aux fichiers recus", "Append received files", "Anadir a los ficheros recibidos"},
         FieldKind::kFlag,
         1,
         {}},
        {"PORTABLE",
         {"Effacer la table apres erreur", "Delete table after error",
          "Borrar la tabla tras error"},
         FieldKind::kFlag,
         1,
         {}},
        {"SUP_TAB",
         {"Effacer la table", "Delete table", "Borrar la tabla"},
         FieldKind::kFlag,
         1,
         {}},
        {"ADD_CRLF", {"Ajouter CR LF", "Add CR LF", "Anadir CR LF"}, FieldKind::kFlag, 1, {}},
        {"DOS", {"Format DOS", "DOS format", "Formato DOS"}, FieldKind::kFlag, 1, {}}},
       {kOk, kCancel},
       "ESC",
       nullptr});

  w.push_back(
      {"DECONEX.WDW",
       {"Programmation", "Schedule", "Programacion"},
       {{"HEUREAC", {"Heure actuelle", "Current time", "Hora actual"}, FieldKind::kDisplay, 8, {}},
        {"SELC", {"Programme C", "Program C", "Programa C"}, FieldKind::kFlag, 1, {}},
        {"HEUREC", {"Heure C", "Time C", "Hora C"}, FieldKind::kTime, 5, {}},
        {"PROGC", {"Commande C", "Command C", "Comando C"}, FieldKind::kText, 128, {}},
        {"SELD", {"Programme D", "Program D", "Programa D"}, FieldKind::kFlag, 1, {}},
        {"HEURED", {"Heure D", "Time D", "Hora D"}, FieldKind::kTime, 5, {}},
        {"PROGD", {"Commande D", "Command D", "Comando D"}, FieldKind::kText, 128, {}},
        {"SELFIN", {"Programme de fin", "End program", "Programa de fin"}, FieldKind::kFlag, 1, {}},
        {"PROGFIN",
         {"Commande de fin", "End command", "Comando de fin"},
         FieldKind::kText,
         128,
         {}},
        {"AVANT",
         {"Arreter apres lancement", "Stop after launch", "Parar tras ejecucion"},
         FieldKind::kFlag,
         1,
         {}}},
       {kOk, kCancel},
       "ESC",
       "*N*"});

  w.push_back({"LANGUE.WDW",
               {"Langue", "Language", "Idioma"},
               {},
               {{"*F*", nullptr, {"Francais", "French", "Frances"}},
                {"*A*", nullptr, {"Anglais", "English", "Ingles"}},
                {"*E*", nullptr, {"Espagnol", "Spanish", "Espanol"}},
                kCancel},
               "ESC",
               nullptr});
  return w;
}

}  // namespace

const std::vector<WindowSpec>& WindowLibrary() {
  static const std::vector<WindowSpec> library = BuildLibrary();
  return library;
}

const WindowSpec* FindWindowSpec(std::string_view name) {
  for (const auto& w : WindowLibrary())
    if (name == w.name) return &w;
  return nullptr;
}

const FieldSpec* FindFieldSpec(const WindowSpec& window, std::string_view name) {
  for (const auto& f : window.fields)
    if (name == f.name) return &f;
  return nullptr;
}

std::string CancelStatus(std::string_view window) {
  const WindowSpec* desc = FindWindowSpec(window);
  return desc ? desc->cancel_status : "ESC";
}

}  // namespace kavelin2::uirt
