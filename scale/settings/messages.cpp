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

// One row a failure. In the sentence, {port} is the link's port, {command}
// its command quoted, {seconds} its time limit, {detail} the failure's own
// words as they came (the system's, accents and all), {quoted} them quoted
// as a line from the scale, {unit} the weighing's unit, {ids} the device's
// identifiers in brackets when known.
struct FailureFacts {
    Failure failure;
    Offer offer;
    std::string_view sentence;
};

constexpr FailureFacts kFailures[] = {
    {Failure::NoScale, Offer::Yes,
         "Aucun instrument de pesage n'est configuré ni branché en USB : indiquez son port "
         "série avec l'option --port, ou par « port = » dans la section [pesage] du fichier "
         "~/.config/pesolane/pesolane.conf."},
    {Failure::BadSetting, Offer::Yes,
         "L'instrument de pesage n'est pas utilisable : {detail}"},
    {Failure::PortAbsent, Offer::Yes,
         "Le port série {port} de l'instrument de pesage n'existe pas : vérifiez le câble et le "
         "nom du port."},
    {Failure::PortBusy, Offer::No,
         "Le port série {port} de l'instrument de pesage est déjà utilisé par un autre "
         "programme."},
    {Failure::PortDenied, Offer::No,
         "Le port série {port} de l'instrument de pesage n'est pas accessible : le compte doit "
         "appartenir au groupe dialout (sudo adduser $USER dialout, puis ouvrir une nouvelle "
         "session)."},
    {Failure::PortOther, Offer::No,
         "Le port série {port} de l'instrument de pesage ne s'ouvre pas : {detail}."},
    {Failure::Searching, Offer::No,
         "La recherche de l'instrument de pesage est en cours : attendez qu'elle finisse, ou "
         "annulez-la, puis recommencez la pesée."},
    {Failure::LinkLost, Offer::No,
         "La liaison avec l'instrument de pesage (port {port}) est perdue : vérifiez le câble, "
         "puis recommencez la pesée."},
    {Failure::TimedOut, Offer::WhenSilent,
         "L'instrument de pesage (port {port}) n'a donné aucune pesée stable en {seconds} s : "
         "vérifiez qu'il est allumé, relié et réglé comme le programme (vitesse, format, "
         "protocole)."},
    {Failure::Unstable, Offer::No,
         "La pesée est instable : attendez que l'affichage de l'instrument de pesage se "
         "stabilise, puis recommencez."},
    {Failure::UnsettledStream, Offer::No,
         "La pesée est instable : attendez que l'affichage de l'instrument de pesage se "
         "stabilise, puis recommencez. Un instrument de pesage qui n'envoie sa pesée que sur sa "
         "touche d'impression se règle par « protocole = impression »."},
    {Failure::AboveCapacity, Offer::No,
         "La charge dépasse la portée de l'instrument de pesage."},
    {Failure::BelowZero, Offer::No,
         "La pesée est négative ou sous le zéro : remettez l'instrument de pesage à zéro, puis "
         "recommencez."},
    {Failure::CannotWeigh, Offer::No,
         "L'instrument de pesage ne peut pas peser maintenant : recommencez dans un instant."},
    {Failure::NotUnderstood, Offer::Yes,
         "L'instrument de pesage n'a pas compris la commande « {command} » : vérifiez le "
         "réglage commande."},
    {Failure::NoStableWeight, Offer::No,
         "L'instrument de pesage n'a pas obtenu de pesée stable dans son propre délai : évitez "
         "vibrations et courants d'air, puis recommencez."},
    {Failure::Garbled, Offer::Yes,
         "Réponse de l'instrument de pesage incomprise : « {quoted} ». Vérifiez la vitesse, le "
         "format et le protocole."},
    {Failure::Ambiguous, Offer::No,
         "Réponse de l'instrument de pesage ambiguë : « {quoted} » se lit de deux façons, "
         "aucune pesée n'est prise. Vérifiez le format d'envoi de l'instrument de pesage."},
    {Failure::NotTheWeight, Offer::No,
         "L'instrument de pesage a envoyé une tare ou un nombre de pièces, pas une pesée : « "
         "{quoted} »."},
    {Failure::Disagrees, Offer::No,
         "Le ticket de l'instrument de pesage se contredit : le brut moins la tare n'est pas le "
         "net (« {quoted} ») : recommencez la pesée."},
    {Failure::GrossAndTare, Offer::No,
         "L'instrument de pesage a envoyé un brut et une tare sans le net, dans des unités ou avec "
         "des décimales qui ne se soustraient pas exactement (« {quoted} ») : réglez-le pour qu'il "
         "envoie le net."},
    {Failure::LateAnswer, Offer::No,
         "L'instrument de pesage a répondu à une pesée précédente, pas à celle-ci : recommencez "
         "la pesée."},
    {Failure::ScaleError, Offer::No,
         "L'instrument de pesage signale une erreur : « {quoted} ». Consultez son manuel."},
    {Failure::NotAMass, Offer::No,
         "L'instrument de pesage donne une valeur en « {quoted} », qui n'est pas une masse : "
         "réglez-le pour peser (g, kg, lb...)."},
    {Failure::OtherUnit, Offer::No,
         "Cette pesée est en {unit}, la première pesée de ce comptage en {detail} : réglez "
         "l'instrument de pesage sur {detail}, ou recommencez le comptage à l'étape 1."},
    {Failure::DeviceAbsent, Offer::Yes,
         "L'instrument de pesage USB {port} est absent : vérifiez qu'il est branché et allumé, "
         "et le chemin donné par --port ou « port = »."},
    {Failure::DeviceDenied, Offer::No,
         "L'instrument de pesage USB {port}{ids} n'est pas accessible : la règle udev du paquet "
         "pesolane (/lib/udev/rules.d/60-pesolane.rules) en donne l'accès pour les instruments "
         "de pesage USB courants ; installez le paquet, puis débranchez et rebranchez "
         "l'instrument. S'il n'y figure pas, ajoutez ses identifiants à une copie de cette "
         "règle dans /etc/udev/rules.d/ (voir man pesolane)."},
    {Failure::DeviceOther, Offer::No,
         "L'instrument de pesage USB {port} ne peut pas être ouvert : {detail}."},
    {Failure::SeveralDevices, Offer::No,
         "Plusieurs instruments de pesage USB sont branchés ({quoted}) : choisissez le vôtre "
         "avec l'option --port, ou par « port = » dans la section [pesage] du fichier "
         "~/.config/pesolane/pesolane.conf."},
    {Failure::DeviceSilent, Offer::Yes,
         "L'instrument de pesage USB {port} n'a donné aucune pesée en {seconds} s : vérifiez "
         "qu'il est allumé et branché."},
    {Failure::ScaleFault, Offer::No,
         "L'instrument de pesage signale un défaut : consultez son manuel, puis recommencez la "
         "pesée."},
    {Failure::NeedsCalibration, Offer::No,
         "L'instrument de pesage doit être étalonné : faites-le étalonner comme son manuel "
         "l'indique, puis recommencez la pesée."},
    {Failure::NeedsRezero, Offer::No,
         "L'instrument de pesage doit être remis à zéro : videz le plateau, remettez-le à zéro, "
         "puis recommencez la pesée."},
    {Failure::UnknownUnit, Offer::No,
         "L'instrument de pesage donne une unité que le programme ne connaît pas (code {quoted} "
         "de la table des unités HID) : réglez-le pour peser en g, kg, lb ou oz."},
    {Failure::BadReport, Offer::Yes,
         "Rapport de l'instrument de pesage USB incompris : « {quoted} ». Vérifiez que le port "
         "est bien celui d'un instrument de pesage."},
};

const FailureFacts* factsOf(Failure f) {
    for (const FailureFacts& row : kFailures)
        if (row.failure == f) return &row;
    return nullptr;
}

}  // namespace

std::string messageOf(const Weighing& w, std::string_view port, std::string_view command, double seconds) {
    const FailureFacts* facts = factsOf(w.failure);
    if (!facts) return {};
    std::string m;
    const std::string_view s = facts->sentence;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t open = s.find('{', i);
        const std::size_t close = open == std::string_view::npos ? open : s.find('}', open);
        m.append(s.substr(i, open == std::string_view::npos ? s.size() - i : open - i));
        if (close == std::string_view::npos) break;
        const std::string_view name = s.substr(open + 1, close - open - 1);
        if (name == "port") m.append(port);
        else if (name == "command") m += quoted(command);
        else if (name == "seconds") m += secondsText(seconds);
        else if (name == "detail") m += w.detail;
        else if (name == "quoted") m += quoted(w.detail);
        else if (name == "unit") m += w.unit;
        else if (name == "ids" && !w.detail.empty()) m += " (identifiants " + quoted(w.detail) + ")";
        i = close + 1;
    }
    return m;
}

bool offersSearch(Failure f, bool heardNothing) {
    const FailureFacts* facts = factsOf(f);
    return facts && (facts->offer == Offer::Yes || (facts->offer == Offer::WhenSilent && heardNothing));
}

bool quotesLine(Failure f) {
    const FailureFacts* facts = factsOf(f);
    return facts && facts->sentence.find("{quoted}") != std::string_view::npos;
}

}  // namespace pesolane
