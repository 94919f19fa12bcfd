// The dialog windows of "KAVELIN2.WDL" as the terminal lays them out. Each
// field keeps the name the station fetches and the key it shows it with.
#include <map>

#include "ui/runtime/terminal_form.h"

namespace kavelin2::uirt::term {
namespace {

FormItem Label(int row, int col, Text3 text, unsigned attr = kPlain) {
  FormItem item;
  item.type = FormItem::kLabel;
  item.row = row;
  item.col = col;
  item.label = text;
  item.attr = attr;
  return item;
}

FormItem Field(int row, int col, Text3 label, const char* field, const char* key, FieldKind kind,
               int value_col, int width, size_t max_bytes = 0) {
  FormItem item;
  item.type = FormItem::kField;
  item.row = row;
  item.col = col;
  item.label = label;
  item.field = field;
  item.key = key;
  item.kind = kind;
  item.value_col = value_col;
  item.width = width;
  item.max_bytes = max_bytes;
  return item;
}

FormItem Button(int row, int col, Text3 caption, const char* status) {
  FormItem item;
  item.type = FormItem::kButton;
  item.row = row;
  item.col = col;
  item.label = caption;
  item.status = status;
  return item;
}

FormItem WithChoices(FormItem item, std::vector<Choice> choices) {
  item.choices = std::move(choices);
  return item;
}

FormItem WithBrowse(FormItem item, const char* status) {
  item.browse = status;
  return item;
}

const Text3 kNone{"", "", ""};

FormSpec PortsSpec() {
  FormSpec s;
  s.window = "SERIE.WDW";
  s.title = {"Paramètres des ports série", "Serial port settings",
             "Parámetros de los puertos serie"};
  s.rows = 11;
  s.cols = 60;
  s.items.push_back(Label(0, 24, labels::kLine1, kBold));
  s.items.push_back(Label(0, 42, labels::kLine2, kBold));
  const std::vector<Choice> speeds = {
      {"1", {"256000", "256000", "256000"}}, {"2", {"115200", "115200", "115200"}},
      {"3", {"57600", "57600", "57600"}},    {"4", {"38400", "38400", "38400"}},
      {"5", {"19200", "19200", "19200"}},    {"6", {"9600", "9600", "9600"}},
      {"7", {"2400", "2400", "2400"}},       {"8", {"1200", "1200", "1200"}}};
  const std::vector<Choice> data_bits = {{"1", {"7", "7", "7"}}, {"2", {"8", "8", "8"}}};
  const std::vector<Choice> parities = {{"1", {"Aucune", "None", "Ninguna"}},
                                        {"2", {"Paire", "Even", "Par"}},
                                        {"3", {"Impaire", "Odd", "Impar"}},
                                        {"4", {"Marque", "Mark", "Marca"}}};
  const std::vector<Choice> stop_bits = {
      {"1", {"1", "1", "1"}}, {"2", {"1,5", "1.5", "1,5"}}, {"3", {"2", "2", "2"}}};
  struct Line {
    int col;
    const char* names[7];
    const char* keys[7];
  };
  const Line lines[2] = {
      {24,
       {"ACTIVE1", "PORT1", "VITESSE1", "DONNEES1", "PARITE1", "STOPBIT1", "IRDA1"},
       {"ACTIVE1,", "PORT1,", "VITESSE1,", "DONNEES1,", "PARITE1,", "STOPBIT1,", "IRDA1,"}},
      {42,
       {"ACTIVE2", "PORT2", "VITESSE2", "DONNEES2", "PARITE2", "STOPBIT2", "IRDA2"},
       {"ACTIVE2,", "PORT2,", "VITESSE2,", "DONNEES2,", "PARITE2,", "STOPBIT2,", "IRDA2,"}}};
  for (int l = 0; l < 2; ++l) {
    const Line& line = lines[l];
    bool first = l == 0;
    auto label = [&](Text3 t) { return first ? t : kNone; };
    s.items.push_back(Field(1, 0, label({"Ligne utilisée", "Line in use", "Línea utilizada"}),
                            line.names[0], line.keys[0], FieldKind::kToggle, line.col, 3));
    s.items.push_back(Field(2, 0, label({"Port série", "Serial port", "Puerto serie"}),
                            line.names[1], line.keys[1], FieldKind::kPort, line.col, 6));
    s.items.push_back(
        WithChoices(Field(3, 0, label({"Vitesse (bit/s)", "Speed (bit/s)", "Velocidad (bit/s)"}),
                          line.names[2], line.keys[2], FieldKind::kChoice, line.col, 14),
                    speeds));
    s.items.push_back(
        WithChoices(Field(4, 0, label({"Bits de données", "Data bits", "Bits de datos"}),
                          line.names[3], line.keys[3], FieldKind::kChoice, line.col, 14),
                    data_bits));
    s.items.push_back(WithChoices(Field(5, 0, label({"Parité", "Parity", "Paridad"}), line.names[4],
                                        line.keys[4], FieldKind::kChoice, line.col, 14),
                                  parities));
    s.items.push_back(
        WithChoices(Field(6, 0, label({"Bits de stop", "Stop bits", "Bits de parada"}),
                          line.names[5], line.keys[5], FieldKind::kChoice, line.col, 14),
                    stop_bits));
    s.items.push_back(Field(7, 0,
                            label({"Infrarouge (IrDA)", "Infrared (IrDA)", "Infrarrojo (IrDA)"}),
                            line.names[6], line.keys[6], FieldKind::kToggle, line.col, 3));
  }
  s.items.push_back(Button(9, 16, labels::kValidate, "*V*"));
  s.items.push_back(Button(9, 32, labels::kCancel, "*A*"));
  return s;
}

FormSpec ModemSpec() {
  FormSpec s;
  s.window = "MODEM.WDW";
  s.title = {"Modems", "Modems", "Módems"};
  s.rows = 9;
  s.cols = 64;
  const Text3 present{"  Modem présent", "  Modem present", "  Módem presente"};
  const Text3 command{"  Commande après ATZ", "  Command after ATZ", "  Comando tras ATZ"};
  s.items.push_back(Label(0, 0, labels::kLine1, kBold));
  s.items.push_back(Field(1, 0, present, "PRESENT1", "PRESENT1,", FieldKind::kToggle, 26, 3));
  s.items.push_back(Field(2, 0, command, "MODEM1", "MODEM1,", FieldKind::kText, 26, 32, 30));
  s.items.push_back(Label(4, 0, labels::kLine2, kBold));
  s.items.push_back(Field(5, 0, present, "PRESENT2", "PRESENT2,", FieldKind::kToggle, 26, 3));
  s.items.push_back(Field(6, 0, command, "MODEM2", "MODEM2,", FieldKind::kText, 26, 32, 30));
  s.items.push_back(Button(8, 18, labels::kValidate, "*V*"));
  s.items.push_back(Button(8, 34, labels::kCancel, "*A*"));
  return s;
}

FormSpec PathsSpec() {
  FormSpec s;
  s.window = "CHEMIN.WDW";
  s.title = {"Chemins d'accès", "Access paths", "Caminos de acceso"};
  s.rows = 11;
  s.cols = 74;
  struct Row {
    Text3 label;
    const char* name;
    const char* key;
    const char* browse;
  };
  const Row rows[4] = {
      {{"Tables", "Tables", "Tablas"}, "TABLE", "TABLE,", "*B*"},
      {{"Fichiers reçus", "Received files", "Ficheros recibidos"}, "RECU", "RECU,", "*R*"},
      {{"Fichiers à transmettre", "Files to transmit", "Ficheros por transmitir"},
       "TRANS",
       "TRANS,",
       "*T*"},
      {{"Fichier d'état", "Log file", "Fichero de estado"}, "FICLOG", "FICLOG,", "*L*"}};
  for (int i = 0; i < 4; ++i) {
    const Row& r = rows[i];
    s.items.push_back(WithBrowse(
        Field(2 * i, 0, r.label, r.name, r.key, FieldKind::kText, 25, 40, 80), r.browse));
    s.items.push_back(Button(2 * i, 67, {"...", "...", "..."}, r.browse));
  }
  s.items.push_back(
      Label(8, 0,
            {"F2 ou [ ... ] : choisir un répertoire", "F2 or [ ... ]: choose a directory",
             "F2 o [ ... ]: elegir un directorio"},
            kDim));
  s.items.push_back(Button(10, 20, labels::kValidate, "*V*"));
  s.items.push_back(Button(10, 38, labels::kCancel, "*A*"));
  return s;
}

FormSpec FileOptionsSpec() {
  FormSpec s;
  s.window = "FICHIERS.WDW";
  s.title = {"Options des fichiers", "File options", "Opciones de ficheros"};
  s.rows = 9;
  s.cols = 66;
  struct Row {
    const char* name;
    Text3 label;
  };
  const Row rows[6] = {
      {"SUP_FIC",
       {"Supprimer les fichiers transmis après un bon échange",
        "Delete the transmitted files after a good exchange",
        "Borrar los ficheros transmitidos tras un buen intercambio"}},
      {"APPEND",
       {"Ajouter les fichiers reçus à ceux de même nom",
        "Append received files to those of the same name",
        "Añadir los ficheros recibidos a los del mismo nombre"}},
      {"PORTABLE",
       {"Supprimer aussi la table après une erreur", "Also delete the table after an error",
        "Borrar también la tabla tras un error"}},
      {"SUP_TAB",
       {"Supprimer la table après un bon échange", "Delete the table after a good exchange",
        "Borrar la tabla tras un buen intercambio"}},
      {"ADD_CRLF",
       {"Ajouter CR LF à chaque bloc reçu", "Add CR LF to every received block",
        "Añadir CR LF a cada bloque recibido"}},
      {"DOS", {"Fichiers au format DOS", "DOS format files", "Ficheros en formato DOS"}}};
  for (int i = 0; i < 6; ++i) {
    // These six are shown without a comma ("AFFICHE, DOS=%c").
    s.items.push_back(
        Field(i, 4, rows[i].label, rows[i].name, rows[i].name, FieldKind::kToggle, 0, 3));
  }
  s.items.push_back(Button(8, 20, labels::kValidate, "*V*"));
  s.items.push_back(Button(8, 36, labels::kCancel, "*A*"));
  return s;
}

FormSpec ScheduleSpec() {
  FormSpec s;
  s.window = "DECONEX.WDW";
  s.title = {"Programmation horaire", "Schedule", "Programación horaria"};
  s.rows = 17;
  s.cols = 72;
  s.clock = true;
  const Text3 at_time{"  Lancer à heure fixe", "  Start at a fixed time", "  Lanzar a hora fija"};
  const Text3 time{"Heure", "Time", "Hora"};
  const Text3 command{"  Ligne de commande", "  Command line", "  Línea de comando"};
  s.items.push_back(Field(0, 0, {"Heure actuelle", "Current time", "Hora actual"}, "HEUREAC",
                          "HEUREAC,", FieldKind::kReadOnly, 32, 8));
  s.items.push_back(Label(2, 0, {"Programme C", "Program C", "Programa C"}, kBold));
  s.items.push_back(Field(3, 0, at_time, "SELC", "SELC,", FieldKind::kToggle, 32, 3));
  s.items.push_back(Field(3, 38, time, "HEUREC", "HEUREC,", FieldKind::kTime, 46, 5, 5));
  s.items.push_back(Field(4, 0, command, "PROGC", "PROGC,", FieldKind::kText, 32, 38, 128));
  s.items.push_back(Label(6, 0, {"Programme D", "Program D", "Programa D"}, kBold));
  s.items.push_back(Field(7, 0, at_time, "SELD", "SELD,", FieldKind::kToggle, 32, 3));
  s.items.push_back(Field(7, 38, time, "HEURED", "HEURED,", FieldKind::kTime, 46, 5, 5));
  s.items.push_back(Field(8, 0, command, "PROGD", "PROGD,", FieldKind::kText, 32, 38, 128));
  s.items.push_back(Label(
      10, 0,
      {"Programme de fin d'échange", "End-of-exchange program", "Programa de fin de intercambio"},
      kBold));
  s.items.push_back(Field(11, 0,
                          {"  Lancer après chaque échange", "  Start after every exchange",
                           "  Lanzar tras cada intercambio"},
                          "SELFIN", "SELFIN,", FieldKind::kToggle, 32, 3));
  s.items.push_back(Field(12, 0, command, "PROGFIN", "PROGFIN,", FieldKind::kText, 32, 38, 128));
  s.items.push_back(
      Field(14, 4,
            {"Arrêter la station après un lancement", "Stop the station after a launch",
             "Parar la estación tras un lanzamiento"},
            "AVANT", "AVANT,", FieldKind::kToggle, 0, 3));
  s.items.push_back(Button(16, 20, labels::kValidate, "*V*"));
  s.items.push_back(Button(16, 36, labels::kCancel, "*A*"));
  return s;
}

FormSpec LanguageSpec() {
  FormSpec s;
  s.window = "LANGUE.WDW";
  s.title = {"Langue", "Language", "Idioma"};
  s.rows = 8;
  s.cols = 40;
  // "*A*" is English here; leaving without a choice answers "ESC".
  s.cancel_status = "ESC";
  s.hint = {"Flèches + Entrée : choisir   Échap : annuler", "Arrows + Enter: choose   Esc: cancel",
            "Flechas + Intro: elegir   Esc: cancelar"};
  s.items.push_back(
      Label(0, 0, {"Choisissez la langue :", "Choose the language:", "Elija el idioma:"}));
  s.items.push_back(Button(2, 8, {"Français", "Français", "Français"}, "*F*"));
  s.items.push_back(Button(3, 8, {"English", "English", "English"}, "*A*"));
  s.items.push_back(Button(4, 8, {"Español", "Español", "Español"}, "*E*"));
  s.items.push_back(Button(6, 8, labels::kCancel, "ESC"));
  return s;
}

FormSpec AboutSpec() {
  FormSpec s;
  s.window = "APROPOS.WDW";
  s.title = {"À propos", "About", "Acerca de"};
  s.rows = 7;
  s.cols = 64;
  s.cancel_status = "ESC";
  s.hint = {"Entrée ou Échap : fermer", "Enter or Esc: close", "Intro o Esc: cerrar"};
  s.items.push_back(Label(0, 0, {"KAVELIN2", "KAVELIN2", "KAVELIN2"}, kBold));
  s.items.push_back(Label(1, 0,
                          {"Station de transfert de fichiers pour terminaux portables",
                           "File transfer station for handheld terminals",
                           "Estación de transferencia de ficheros para terminales portátiles"}));
  s.items.push_back(Field(3, 0, kNone, "VERSION", "VERSION,", FieldKind::kReadOnly, 0, 30));
  s.items.push_back(Button(5, 26, labels::kOk, "*V*"));
  return s;
}

}  // namespace

const FormSpec* FindFormSpec(const std::string& window_name) {
  static const std::map<std::string, FormSpec> specs = [] {
    std::map<std::string, FormSpec> m;
    for (FormSpec s : {PortsSpec(), ModemSpec(), PathsSpec(), FileOptionsSpec(), ScheduleSpec(),
                       LanguageSpec(), AboutSpec()}) {
      m.emplace(s.window, s);
    }
    return m;
  }();
  auto it = specs.find(window_name);
  return it == specs.end() ? nullptr : &it->second;
}

}  // namespace kavelin2::uirt::term
