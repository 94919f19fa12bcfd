// The three languages of the terminal front end, chosen by the runtime's
// language code ("NATION,5" French, "NATION,3" English, "NATION,7" Spanish).
#pragma once

namespace kavelin2::uirt::term {

enum class Lang { kFrench, kEnglish, kSpanish };

// Any code other than 3 and 7 shows French, the station's first language.
inline Lang LangOfNation(int nation) {
  if (nation == 3) return Lang::kEnglish;
  if (nation == 7) return Lang::kSpanish;
  return Lang::kFrench;
}

// One text in the three languages (UTF-8).
struct Text3 {
  const char* fr = "";
  const char* en = "";
  const char* es = "";
  const char* in(Lang lang) const {
    return lang == Lang::kEnglish ? en : lang == Lang::kSpanish ? es : fr;
  }
};

// Texts shared by several views.
namespace labels {
inline constexpr Text3 kValidate{"Valider", "OK", "Aceptar"};
inline constexpr Text3 kCancel{"Annuler", "Cancel", "Cancelar"};
inline constexpr Text3 kYes{"Oui", "Yes", "Sí"};
inline constexpr Text3 kNo{"Non", "No", "No"};
inline constexpr Text3 kOk{"OK", "OK", "OK"};
inline constexpr Text3 kError{"Erreur", "Error", "Error"};
inline constexpr Text3 kInformation{"Information", "Information", "Información"};
inline constexpr Text3 kQuestion{"Question", "Question", "Pregunta"};
inline constexpr Text3 kLine1{"Ligne 1", "Line 1", "Línea 1"};
inline constexpr Text3 kLine2{"Ligne 2", "Line 2", "Línea 2"};
inline constexpr Text3 kFormHint{
    "Tab/flèches : champ   Espace : changer   F10 : valider   Échap : annuler",
    "Tab/arrows: field   Space: change   F10: OK   Esc: cancel",
    "Tab/flechas: campo   Espacio: cambiar   F10: aceptar   Esc: cancelar"};
inline constexpr Text3 kBadTime{"Heure invalide : saisir HH:MM (00:00 à 23:59)",
                                "Invalid time: type HH:MM (00:00 to 23:59)",
                                "Hora no válida: escriba HH:MM (00:00 a 23:59)"};
inline constexpr Text3 kTooSmall{"Agrandir le terminal", "Enlarge the terminal",
                                 "Agrandar el terminal"};
}  // namespace labels

}  // namespace kavelin2::uirt::term
