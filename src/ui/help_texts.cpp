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

std::string previewText(int L) {
  if (L == kEnglish)
    return panel("3D PREVIEW\n\n",
                 {{"The active frame has a yellow border; left double click deactivates a frame\n",
                   "F1 / F2 / F3: cine\n", "Tab: left + right / left / right ventricle\n",
                   "CTRL / SHIFT + Tab: reference views\n", "Space: back to the reference view\n"},
                  {"Left button: rotate\n", "Right button: zoom\n", "A: reference axes\n", "E: scale\n",
                   "CTRL + A: atria\n", "CTRL + C: skeletons\n", "CTRL + V: valve planes\n",
                   "SHIFT + Page up / down: size of the planes\n", "CTRL + Page up / down: display mode\n",
                   "Z: volume / edge mode\n",
                   "C, L, W, Q + arrows up / down: contrast, luminosity, mesh fineness, mesh smoothing\n"},
                  {"With one ventricle shown:\n", "V + Page up / down: translate the valve plane\n",
                   "V + arrows: rotate the valve plane about the green (up / down) or yellow (left / right) axis\n",
                   "Slider C/S or S + Page up / down: cylindrical / spherical transition\n",
                   "Slider Cr or X + Page up / down: skeleton curvature\n",
                   "Arrow right or X + Enter: apply to all instants\n"},
                  {"Escape: back to the segmentation\n"}});
  return panel("PRE-VISUALISATION 3D\n\n",
               {{"Le cadre actif a une bordure jaune ; double clic gauche : désactiver un cadre\n",
                 "F1 / F2 / F3 : ciné\n", "Tab : ventricules gauche + droit / gauche / droit\n",
                 "CTRL / SHIFT + Tab : vues de référence\n", "Espace : retour à la vue de référence\n"},
                {"Bouton gauche : rotation\n", "Bouton droit : zoom\n", "A : axes de référence\n", "E : échelle\n",
                 "CTRL + A : oreillettes\n", "CTRL + C : squelettes\n", "CTRL + V : plans des valves\n",
                 "SHIFT + Page haut / bas : taille des plans\n", "CTRL + Page haut / bas : mode d'affichage\n",
                 "Z : mode volume / contours\n",
                 "C, L, W, Q + flèches haut / bas : contraste, luminosité, finesse du maillage, lissage du maillage\n"},
                {"Avec un seul ventricule affiché :\n", "V + Page haut / bas : translation du plan des valves\n",
                 "V + flèches : rotation du plan des valves autour de l'axe vert (haut / bas) ou jaune (gauche / "
                 "droite)\n",
                 "Curseur C/S ou S + Page haut / bas : transition cylindrique / sphérique\n",
                 "Curseur Cr ou X + Page haut / bas : courbure du squelette\n",
                 "Flèche droite ou X + Entrée : appliquer à tous les instants\n"},
                {"Echap : retour à la segmentation\n"}});
}

std::string results3DText(int L) {
  if (L == kEnglish)
    return panel("3D RESULTS\n", {{"F1 / F2 / F3: cine\n", "Arrows up / down: displayed parameter\n",
                                   "D: sector borders\n", "G: numerical values\n", "S: point / sector mode\n",
                                   "F: number of sectors (13-17-19-25)\n", "A: reference axes\n",
                                   "I: pixel interpolation in the 3D view\n"},
                                  {"F6 / F7: depolarisation animation\n", "CTRL + arrows left / right: depolarisation t0\n",
                                   "W: point ejection curves\n", "F4: classical palette\n", "R: rendering mode\n",
                                   "E: activity mode\n"},
                                  {"CTRL + SHIFT + K: export\n", "CTRL + SHIFT + J: spreadsheet export\n"}});
  return panel("RESULTATS 3D\n", {{"F1 / F2 / F3 : ciné\n", "Flèches haut / bas : paramètre affiché\n",
                                   "D : bordures des secteurs\n", "G : valeurs numériques\n",
                                   "S : mode point / secteur\n", "F : nombre de secteurs (13-17-19-25)\n",
                                   "A : axes de référence\n", "I : interpolation des pixels de la vue 3D\n"},
                                  {"F6 / F7 : animation de la dépolarisation\n",
                                   "CTRL + flèches gauche / droite : t0 de la dépolarisation\n",
                                   "W : courbes d'éjection du point\n", "F4 : palette classique\n",
                                   "R : mode de rendu\n", "E : mode activité\n"},
                                  {"CTRL + SHIFT + K : export\n", "CTRL + SHIFT + J : export tableur\n"}});
}

// The options panel's own text (stage 5).
std::string optionsText(int L) {
  if (L == kEnglish)
    return panel("OPTIONS\n", {{"Check boxes: choose one value\n",
                                 "Number fields: type a value, brought into the limits shown\n",
                                 "Bkg col.: background colour, applied at the next start\n"},
                                {"Enter or Validate: apply the options, save them and go back\n",
                                 "Choosing the stage the panel was opened from closes it\n"}});
  return panel("OPTIONS\n", {{"Cases à cocher : choisir une valeur\n",
                               "Champs numériques : saisir une valeur, ramenée dans les limites indiquées\n",
                               "Coul. fond : couleur de fond, appliquée au prochain démarrage\n"},
                              {"Entrée ou Valider : appliquer les options, les enregistrer et revenir\n",
                               "Choisir l'étape d'où le panneau a été ouvert le ferme\n"}});
}

}  // namespace

std::string helpText(int stage, int fich_axis, int LANGUE) {
  switch (stage) {
    case 1: return fich_axis == 0 ? horizontalLongAxisText(LANGUE) : fich_axis == 1 ? verticalLongAxisText(LANGUE)
                                                                                    : shortAxisText(LANGUE);
    case 2: return segmentationText(LANGUE);
    case 3: return resultsText(LANGUE);
    case 4: return results3DText(LANGUE);
    case 22: return previewText(LANGUE);
    case 5: return optionsText(LANGUE);
    default: return startText(LANGUE);
  }
}

}  // namespace quorvel
