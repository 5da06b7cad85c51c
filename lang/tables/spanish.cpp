// Spanish texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Instalar ahora"},
    {1,  L"Personalizar"},
    {2,  L"Acepto el"},
    {3,  L"Contrato de licencia de usuario"},
    {4,  L"Crear un acceso directo en el escritorio"},
    {5,  L"Crear un acceso directo en el menú Inicio"},
    {6,  L"Ejecutar automáticamente al iniciar el sistema"},
    {7,  L"Unirse al"},
    {8,  L"Programa de mejora de la experiencia del usuario"},
    {9,  L"Iniciar __PRODUCT_NAME__"},
    {10, L"¿Seguro que desea salir de la instalación de __PRODUCT_NAME__?"},
    {11, L"Aceptar"},
    {12, L"Cancelar"},
    {13, L"No se puede continuar con la instalación porque __PRODUCT_NAME__ ya se está ejecutando. Ciérrelo para volver a intentarlo o fuerce el cierre."},
    {14, L"Reintentar"},
    {15, L"Forzar cierre"},
    {16, L"Crear un icono de inicio rápido"},
    {17, L"Seleccione una carpeta de la lista siguiente y, a continuación, haga clic en Aceptar."},
    {18, L"Novedades"},
    {19, L"Sí"},
    {20, L"No"},
    {21, L"Instalando..."},
    {22, L"¿Seguro que desea desinstalar?"},
    {23, L"Desinstalar"},
    {24, L"Conservar mi configuración personal."},
    {25, L"Desinstalando..."},
    {26, L"¡Desinstalación completada! ¡Gracias por su apoyo!"},
    {27, L"Finalizar"},
    {28, L"Windows XP ya no es compatible."},
    {29, L"Windows Vista ya no es compatible."},
    {30, L"La ruta de instalación no es válida."},
    {31, L"No hay suficiente espacio libre en la unidad seleccionada."},
    {32, L"¡Vaya! Esta versión de __PRODUCT_NAME__ solo funciona en sistemas operativos de 64 bits. Descargue e instale la versión de 32 bits."},
    {33, L"Actualmente, __PRODUCT_NAME__ solo funciona en Windows de 64 bits."},
    {34, L"Desinstalar"},
    {35, L"Desinstalar aplicación"},
    {36, L"Aplicación"},
    {37, L"En línea"},
    {38, L"Página principal"},
    {39, L"Debe reiniciar el equipo para instalar la nueva versión. ¿Seguro que desea continuar?"},
    {40, L"Reiniciar ahora"},
    {41, L"Error en la descarga. Vuelva a intentarlo o descargue el instalador sin conexión desde __WEB_HOST__."},
    {42, L"El instalador en línea no está actualizado. Descargue la versión más reciente en __WEB_HOST__."},
    {43, L"Descargando..."},
    {44, L"Comprobando los datos, espere..."},
    {45, L"Recopilando información de descarga..."},
    {46, L"__PRODUCT_NAME__ en línea"},
    {47, L"Desinstalar __PRODUCT_NAME__"},
    {48, L"Iniciar"},
    {49, L"La instalación comenzará automáticamente en XXX segundos."},
    {50, L"Descargando el archivo de instalación..."},
    {51, L"oficial"},
};
// clang-format on
}  // namespace

const LangTable kSpanishTable = {kStrings, std::size(kStrings)};
