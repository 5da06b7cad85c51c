// French texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Cliquez pour installer"},
    {1,  L"Personnaliser"},
    {2,  L"J'accepte"},
    {3,  L"le Contrat de licence utilisateur"},
    {4,  L"Créer un raccourci sur le Bureau"},
    {5,  L"Créer un raccourci dans le menu Démarrer"},
    {6,  L"Lancer au démarrage du système"},
    {7,  L"Participer"},
    {8,  L"au Programme d'amélioration de l'expérience utilisateur"},
    {9,  L"Démarrer __PRODUCT_NAME__"},
    {10, L"Voulez-vous vraiment quitter l'installation de __PRODUCT_NAME__ ?"},
    {11, L"OK"},
    {12, L"Annuler"},
    {13, L"Impossible de poursuivre l'installation, car __PRODUCT_NAME__ est déjà en cours d'exécution. Fermez-le puis réessayez, ou forcez sa fermeture."},
    {14, L"Réessayer"},
    {15, L"Forcer la fermeture"},
    {16, L"Créer une icône de lancement rapide"},
    {17, L"Sélectionnez un dossier dans la liste ci-dessous, puis cliquez sur OK."},
    {18, L"Nouveautés"},
    {19, L"Oui"},
    {20, L"Non"},
    {21, L"Installation en cours..."},
    {22, L"Voulez-vous vraiment effectuer la désinstallation ?"},
    {23, L"Désinstaller"},
    {24, L"Conserver mes paramètres personnels."},
    {25, L"Désinstallation en cours..."},
    {26, L"Désinstallation terminée ! Merci de votre confiance !"},
    {27, L"Terminer"},
    {28, L"Windows XP n'est plus pris en charge."},
    {29, L"Windows Vista n'est plus pris en charge."},
    {30, L"Le chemin d'installation n'est pas valide."},
    {31, L"L'espace disponible sur le lecteur sélectionné est insuffisant."},
    {32, L"Oups ! Cette version de __PRODUCT_NAME__ fonctionne uniquement sur un système d'exploitation 64 bits. Veuillez télécharger et installer la version 32 bits."},
    {33, L"__PRODUCT_NAME__ fonctionne actuellement uniquement sous Windows 64 bits."},
    {34, L"Désinstaller"},
    {35, L"Désinstaller l'application"},
    {36, L"Application"},
    {37, L"En ligne"},
    {38, L"Page d'accueil"},
    {39, L"Vous devez redémarrer l'ordinateur pour installer la nouvelle version. Voulez-vous vraiment continuer ?"},
    {40, L"Redémarrer maintenant"},
    {41, L"Échec du téléchargement. Veuillez réessayer ou télécharger le programme d'installation hors ligne sur __WEB_HOST__."},
    {42, L"Ce programme d'installation en ligne est obsolète. Veuillez télécharger la dernière version sur __WEB_HOST__."},
    {43, L"Téléchargement en cours..."},
    {44, L"Vérification des données, veuillez patienter..."},
    {45, L"Récupération des informations de téléchargement..."},
    {46, L"__PRODUCT_NAME__ en ligne"},
    {47, L"Désinstaller __PRODUCT_NAME__"},
    {48, L"Lancer"},
    {49, L"L'installation démarrera automatiquement dans XXX secondes."},
    {50, L"Téléchargement du fichier d'installation..."},
    {51, L"officielle"},
};
// clang-format on
}  // namespace

const LangTable kFrenchTable = {kStrings, std::size(kStrings)};
