// German texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Installieren"},
    {1,  L"Benutzerdefiniert"},
    {2,  L"Ich akzeptiere"},
    {3,  L"die Lizenzvereinbarung"},
    {4,  L"Desktopverknüpfung erstellen"},
    {5,  L"Startmenü-Verknüpfung erstellen"},
    {6,  L"Beim Systemstart automatisch ausführen"},
    {7,  L"Teilnahme"},
    {8,  L"am Programm zur Verbesserung der Benutzerfreundlichkeit"},
    {9,  L"__PRODUCT_NAME__ starten"},
    {10, L"Möchten Sie die Installation von __PRODUCT_NAME__ wirklich abbrechen?"},
    {11, L"OK"},
    {12, L"Abbrechen"},
    {13, L"Die Installation kann nicht fortgesetzt werden, da __PRODUCT_NAME__ bereits ausgeführt wird. Schließen Sie das Programm und versuchen Sie es erneut, oder erzwingen Sie das Beenden."},
    {14, L"Wiederholen"},
    {15, L"Beenden erzwingen"},
    {16, L"Schnellstartsymbol erstellen"},
    {17, L"Wählen Sie einen Ordner aus der folgenden Liste aus, und klicken Sie dann auf „OK“."},
    {18, L"Neuerungen"},
    {19, L"Ja"},
    {20, L"Nein"},
    {21, L"Wird installiert..."},
    {22, L"Möchten Sie das Programm wirklich deinstallieren?"},
    {23, L"Deinstallieren"},
    {24, L"Meine persönlichen Einstellungen beibehalten."},
    {25, L"Wird deinstalliert..."},
    {26, L"Die Deinstallation ist abgeschlossen. Vielen Dank für Ihre Unterstützung!"},
    {27, L"Fertig stellen"},
    {28, L"Windows XP wird nicht mehr unterstützt."},
    {29, L"Windows Vista wird nicht mehr unterstützt."},
    {30, L"Der Installationspfad ist ungültig."},
    {31, L"Auf dem ausgewählten Laufwerk ist nicht genügend Speicherplatz frei."},
    {32, L"Hoppla! Diese Version von __PRODUCT_NAME__ läuft nur auf einem 64-Bit-Betriebssystem. Bitte laden Sie die 32-Bit-Version herunter und installieren Sie diese."},
    {33, L"__PRODUCT_NAME__ läuft derzeit nur unter 64-Bit-Windows."},
    {34, L"Deinstallieren"},
    {35, L"Anwendung deinstallieren"},
    {36, L"Anwendung"},
    {37, L"Online"},
    {38, L"Homepage"},
    {39, L"Zum Installieren der neuen Version muss der Computer neu gestartet werden. Möchten Sie fortfahren?"},
    {40, L"Jetzt neu starten"},
    {41, L"Der Download ist fehlgeschlagen. Bitte versuchen Sie es erneut, oder laden Sie das Offline-Installationsprogramm von __WEB_HOST__ herunter."},
    {42, L"Das Online-Installationsprogramm ist veraltet. Bitte laden Sie die neueste Version von __WEB_HOST__ herunter."},
    {43, L"Wird heruntergeladen..."},
    {44, L"Daten werden überprüft, bitte warten..."},
    {45, L"Downloadinformationen werden abgerufen..."},
    {46, L"__PRODUCT_NAME__ Online"},
    {47, L"__PRODUCT_NAME__ deinstallieren"},
    {48, L"Starten"},
    {49, L"Die Installation beginnt automatisch in XXX Sekunden."},
    {50, L"Setup-Datei wird heruntergeladen..."},
    {51, L"offiziell"},
};
// clang-format on
}  // namespace

const LangTable kGermanTable = {kStrings, std::size(kStrings)};
