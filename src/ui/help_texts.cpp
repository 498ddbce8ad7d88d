#include "ui/help_texts.h"

#include <initializer_list>

#include "base/language.h"

namespace quorvel {

namespace {

const std::string kRule = std::string(45, '_') + "\n";

// A title, then each group's lines, groups separated by the rule.
std::string panel(const char* title, std::initializer_list<std::initializer_list<const char*>> groups) {
  std::string text = title;
  bool first = true;
  for (const auto& group : groups) {
    if (!first) text += kRule;
    first = false;
    for (const char* line : group) text += line;
  }
  return text;
}

std::string startText(int L) {
  if (L == kEnglish)
    return panel("", {{"To open data to be treated: CTRL + O\n", "To open a Quorvel exam: SHIFT + O\n",
                       "To open the options pannel: SHIFT + CTRL + P\n", "To quit Quorvel: CTRL + Q\n"}});
  return panel("", {{"Pour ouvrir des données à traiter : CTRL + O\n", "Pour ouvrir un examen Quorvel : SHIFT + O\n",
                     "Pour accéder aux options : SHIFT + CTRL + P\n", "Pour quitter Quorvel : CTRL + Q\n"}});
}

std::string horizontalLongAxisText(int L) {
  if (L == kEnglish)
    return panel("HORIZONTAL LONG AXIS VUE\n",
                 {{"Please crop the heart and adjust the septum direction\n"},
                  {"Threshold slider: display threshold\n", "Arrows left / right or mouse wheel: instants\n",
                   "Arrows up / down or SHIFT + wheel: slices\n"},
                  {"CTRL + arrows up / down: frame size\n", "Left button: translate the frame\n",
                   "Right button: rotate the frame\n", "Page up / down: septum position\n",
                   "W held + arrows: shift the crop window of the file\n", "SHIFT + H: flip left / right\n"},
                  {"Enter: validate\n", "Tab: vertical long axis view\n"}});
  return panel("VUE GRAND AXE HORIZONTAL\n",
               {{"Veuillez recadrer le coeur et indiquer l'axe du septum\n"},
                {"Curseur seuil : seuil d'affichage\n", "Flèches gauche / droite ou molette : instants\n",
                 "Flèches haut / bas ou SHIFT + molette : coupes\n"},
                {"CTRL + flèches haut / bas : taille du cadre\n", "Bouton gauche : déplacer le cadre\n",
                 "Bouton droit : tourner le cadre\n", "Page haut / bas : position du septum\n",
                 "W maintenu + flèches : décaler la fenêtre de lecture du fichier\n",
                 "SHIFT + H : symétrie gauche / droite\n"},
                {"Entrée : valider\n", "Tab : vue grand axe vertical\n"}});
}

std::string verticalLongAxisText(int L) {
  if (L == kEnglish)
    return panel("VERTICAL LONG AXIS VUE\n",
                 {{"Please set the position and tilt of the valves plane\n\n"},
                  {"Arrows left / right or mouse wheel: instants\n", "Arrows up / down: section\n",
                   "Space: slice view / projection view\n"},
                  {"Page up / down: valves plane position\n", "CTRL + Page up / down: valves plane tilt\n",
                   "SHIFT + V: flip upside down\n"},
                  {"Enter: validate and go to the short axis view\n", "Tab: next view\n"}});
  return panel("VUE GRAND AXE VERTICAL\n",
               {{"Veuillez indiquer la position et l'inclinaison du plan des valves\n\n"},
                {"Flèches gauche / droite ou molette : instants\n", "Flèches haut / bas : coupe\n",
                 "Espace : vue en coupe / vue en projection\n"},
                {"Page haut / bas : position du plan des valves\n",
                 "CTRL + Page haut / bas : inclinaison du plan des valves\n", "SHIFT + V : retournement vertical\n"},
                {"Entrée : valider et passer à la vue petit axe\n", "Tab : vue suivante\n"}});
}

std::string shortAxisText(int L) {
  if (L == kEnglish)
    return panel("SHORT AXIS VUE\n", {{"Please set the position of the infundibulum plane\n"},
                                      {"Arrows left / right or mouse wheel: instants\n", "Arrows up / down: section\n",
                                       "Left button: infundibulum plane position\n"},
                                      {"Enter: validate and start segmentation\n", "Tab: next view\n"}});
  return panel("VUE PETIT AXE\n", {{"Veuillez indiquer la position du plan de l'infundibulum\n"},
                                  {"Flèches gauche / droite ou molette : instants\n", "Flèches haut / bas : coupe\n",
                                   "Bouton gauche : position du plan de l'infundibulum\n"},
                                  {"Entrée : valider et lancer la segmentation\n", "Tab : vue suivante\n"}});
}

std::string segmentationText(int L) {
  if (L == kEnglish)
    return panel("PLEASE ADJUST THE SEGMENTATION OF THE VENTRICLES\n",
                 {{"F1 / F2 / F3: cine\n", "SHIFT + S: show / hide activity below threshold\n",
                   "V: show / hide reference planes\n", "CTRL + arrows up / down: move the valve plane\n",
                   "CTRL + arrows left / right: move the septum plane\n"},
                  {"CTRL + SHIFT + Enter: update the automatic segmentation\n", "F5: show / hide regions\n"},
                  {"Right button: assign to left ventricle\n", "Left button: assign to right ventricle\n",
                   "(holding C: one instant only)\n", "Arrow down: assign to the atria\n",
                   "Arrow up or Escape: exclude an extra-cardiac structure\n", "SHIFT + Escape: clear the exclusions\n",
                   "Space + left button: re-segmentation of the pointed region\n",
                   "Space + right button: manual refinement of one slice with a brush (Page up / Page down: brush "
                   "size)\n"},
                  {"SHIFT / CTRL + right button: upper / lower limit of the left ventricle\n",
                   "SHIFT / CTRL + left button: upper / lower limit of the right ventricle\n",
                   "Double click: assign for all instants\n"},
                  {"L: lock a slice\n", "CTRL + L: unlock a slice\n", "CTRL + SHIFT + L: unlock all slices of an instant\n"},
                  {"BackSpace: undo\n", "Enter: 3D pre-visualisation\n"}});
  return panel("VEUILLEZ AFFINER LA SEGMENTATION DES VENTRICULES\n",
               {{"F1 / F2 / F3 : ciné\n", "SHIFT + S : montrer / cacher l'activité sous le seuil\n",
                 "V : montrer / cacher les plans de référence\n", "CTRL + flèches haut / bas : déplacer le plan des valves\n",
                 "CTRL + flèches gauche / droite : déplacer le plan du septum\n"},
                {"CTRL + SHIFT + Entrée : actualiser la segmentation automatique\n", "F5 : montrer / cacher les régions\n"},
                {"Bouton droit : affecter au ventricule gauche\n", "Bouton gauche : affecter au ventricule droit\n",
                 "(C maintenu : un seul instant)\n", "Flèche bas : affecter aux oreillettes\n",
                 "Flèche haut ou Echap : exclure une structure extra-cardiaque\n",
                 "SHIFT + Echap : annuler les exclusions\n",
                 "Espace + bouton gauche : re-segmentation de la région pointée\n",
                 "Espace + bouton droit : retouche manuelle d'une coupe au pinceau (Page haut / Page bas : taille du "
                 "pinceau)\n"},
                {"SHIFT / CTRL + bouton droit : limite haute / basse du ventricule gauche\n",
                 "SHIFT / CTRL + bouton gauche : limite haute / basse du ventricule droit\n",
                 "Double clic : affecter pour tous les instants\n"},
                {"L : verrouiller une coupe\n", "CTRL + L : déverrouiller une coupe\n",
                 "CTRL + SHIFT + L : déverrouiller toutes les coupes d'un instant\n"},
                {"Retour arrière : annuler\n", "Entrée : pré-visualisation 3D\n"}});
}

std::string resultsText(int L) {
  if (L == kEnglish)
    return panel("VENTRICULAR EJECJTION CURVES\n", {{"Arrows left / right: fitting method\n",
                                                     "Page up / down: iterations or harmonics\n"},
                                                    {"CTRL + SHIFT + K: export\n"}});
  return panel("COURBES DE VIDANGE VENTRICULAIRE\n", {{"Flèches gauche / droite : méthode d'ajustement\n",
                                                      "Page haut / bas : itérations ou harmoniques\n"},
                                                     {"CTRL + SHIFT + K : export\n"}});
}

}  // namespace

std::string helpText(int stage, int fich_axis, int LANGUE) {
  switch (stage) {
    case 1: return fich_axis == 0 ? horizontalLongAxisText(LANGUE) : fich_axis == 1 ? verticalLongAxisText(LANGUE)
                                                                                    : shortAxisText(LANGUE);
    case 2: return segmentationText(LANGUE);
    case 3: return resultsText(LANGUE);
    default: return startText(LANGUE);
  }
}

}  // namespace quorvel
