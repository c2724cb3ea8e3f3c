#include "messages.h"

#include <charconv>

namespace pesolane {
namespace {

// A line from the scale, quoted: printable characters only, whatever it sent.
std::string quoted(std::string_view s) {
    std::string q;
    for (char c : s) q += (c >= 0x20 && c <= 0x7E) ? c : '?';
    return q;
}

std::string secondsText(double seconds) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, seconds);
    std::string s(buf, ec == std::errc() ? end : buf);
    for (char& c : s)
        if (c == '.') c = ',';  // a French message
    return s;
}

}  // namespace

std::string messageOf(const Weighing& w, std::string_view port, std::string_view command, double seconds) {
    const std::string p(port);
    switch (w.failure) {
    case Failure::None: return {};
    case Failure::NoScale:
        return "Aucun instrument de pesage n'est configuré ni branché en USB : indiquez son port série avec l'option "
               "--port, ou par « port = » dans la section [pesage] du fichier ~/.config/pesolane/pesolane.conf.";
    case Failure::BadSetting: return "L'instrument de pesage n'est pas utilisable : " + w.detail;
    case Failure::PortAbsent:
        return "Le port série " + p + " de l'instrument de pesage n'existe pas : vérifiez le câble et le nom du port.";
    case Failure::PortBusy:
        return "Le port série " + p + " de l'instrument de pesage est déjà utilisé par un autre programme.";
    case Failure::PortDenied:
        return "Le port série " + p + " de l'instrument de pesage n'est pas accessible : le compte doit appartenir "
               "au groupe dialout (sudo adduser $USER dialout, puis ouvrir une nouvelle session).";
    case Failure::PortOther:
        // The system's own words, accents and all.
        return "Le port série " + p + " de l'instrument de pesage ne s'ouvre pas : " + w.detail + ".";
    case Failure::Searching:
        return "La recherche de l'instrument de pesage est en cours : attendez qu'elle finisse, ou annulez-la, "
               "puis recommencez la pesée.";
    case Failure::LinkLost:
        return "La liaison avec l'instrument de pesage (port " + p +
               ") est perdue : vérifiez le câble, puis recommencez la pesée.";
    case Failure::TimedOut:
        return "L'instrument de pesage (port " + p + ") n'a donné aucune pesée stable en " + secondsText(seconds) +
               " s : vérifiez qu'il est allumé, relié et réglé comme le programme (vitesse, format, protocole).";
    case Failure::Unstable:
        return "La pesée est instable : attendez que l'affichage de l'instrument de pesage se stabilise, "
               "puis recommencez.";
    case Failure::UnsettledStream:
        return "La pesée est instable : attendez que l'affichage de l'instrument de pesage se stabilise, "
               "puis recommencez. Un instrument de pesage qui n'envoie sa pesée que sur sa touche d'impression "
               "se règle par « protocole = impression ».";
    case Failure::AboveCapacity: return "La charge dépasse la portée de l'instrument de pesage.";
    case Failure::BelowZero:
        return "La pesée est négative ou sous le zéro : remettez l'instrument de pesage à zéro, puis recommencez.";
    case Failure::CannotWeigh:
        return "L'instrument de pesage ne peut pas peser maintenant : recommencez dans un instant.";
    case Failure::NotUnderstood:
        return "L'instrument de pesage n'a pas compris la commande « " + quoted(command) +
               " » : vérifiez le réglage commande.";
    case Failure::NoStableWeight:
        return "L'instrument de pesage n'a pas obtenu de pesée stable dans son propre délai : évitez vibrations "
               "et courants d'air, puis recommencez.";
    case Failure::Garbled:
        return "Réponse de l'instrument de pesage incomprise : « " + quoted(w.detail) +
               " ». Vérifiez la vitesse, le format et le protocole.";
    case Failure::Ambiguous:
        return "Réponse de l'instrument de pesage ambiguë : « " + quoted(w.detail) +
               " » se lit de deux façons, aucune pesée n'est prise. Vérifiez le format d'envoi de l'instrument "
               "de pesage.";
    case Failure::NotTheWeight:
        return "L'instrument de pesage a envoyé une tare ou un nombre de pièces, pas une pesée : « " +
               quoted(w.detail) + " ».";
    case Failure::Disagrees:
        return "Le ticket de l'instrument de pesage se contredit : le brut moins la tare n'est pas le net (« " +
               quoted(w.detail) + " ») : recommencez la pesée.";
    case Failure::LateAnswer:
        return "L'instrument de pesage a répondu à une pesée précédente, pas à celle-ci : recommencez la pesée.";
    case Failure::ScaleError:
        return "L'instrument de pesage signale une erreur : « " + quoted(w.detail) + " ». Consultez son manuel.";
    case Failure::NotAMass:
        return "L'instrument de pesage donne une valeur en « " + quoted(w.detail) +
               " », qui n'est pas une masse : réglez-le pour peser (g, kg, lb...).";
    case Failure::OtherUnit:
        return "Cette pesée est en " + w.unit + ", la première pesée de ce comptage en " + w.detail +
               " : réglez l'instrument de pesage sur " + w.detail + ", ou recommencez le comptage à l'étape 1.";
    case Failure::DeviceAbsent:
        return "L'instrument de pesage USB " + p + " est absent : vérifiez qu'il est branché et allumé, et le chemin "
               "donné par --port ou « port = ».";
    case Failure::DeviceDenied:
        return "L'instrument de pesage USB " + p + (w.detail.empty() ? "" : " (identifiants " + quoted(w.detail) + ")") +
               " n'est pas accessible : la règle udev du paquet pesolane (/lib/udev/rules.d/60-pesolane.rules) "
               "en donne l'accès pour les instruments de pesage USB courants ; installez le paquet, puis débranchez et "
               "rebranchez l'instrument. S'il n'y figure pas, ajoutez ses identifiants à une copie de cette règle dans "
               "/etc/udev/rules.d/ (voir man pesolane).";
    case Failure::DeviceOther:
        return "L'instrument de pesage USB " + p + " ne peut pas être ouvert : " + w.detail + ".";
    case Failure::SeveralDevices:
        return "Plusieurs instruments de pesage USB sont branchés (" + quoted(w.detail) + ") : choisissez le vôtre avec "
               "l'option --port, ou par « port = » dans la section [pesage] du fichier ~/.config/pesolane/pesolane.conf.";
    case Failure::DeviceSilent:
        return "L'instrument de pesage USB " + p + " n'a donné aucune pesée en " + secondsText(seconds) +
               " s : vérifiez qu'il est allumé et branché.";
    case Failure::ScaleFault:
        return "L'instrument de pesage signale un défaut : consultez son manuel, puis recommencez la pesée.";
    case Failure::NeedsCalibration:
        return "L'instrument de pesage doit être étalonné : faites-le étalonner comme son manuel l'indique, puis "
               "recommencez la pesée.";
    case Failure::NeedsRezero:
        return "L'instrument de pesage doit être remis à zéro : videz le plateau, remettez-le à zéro, puis recommencez "
               "la pesée.";
    case Failure::UnknownUnit:
        return "L'instrument de pesage donne une unité que le programme ne connaît pas (code " + quoted(w.detail) +
               " de la table des unités HID) : réglez-le pour peser en g, kg, lb ou oz.";
    case Failure::BadReport:
        return "Rapport de l'instrument de pesage USB incompris : « " + quoted(w.detail) +
               " ». Vérifiez que le port est bien celui d'un instrument de pesage.";
    }
    return {};
}

}  // namespace pesolane
