// What a station sends the site's server of each counting and lot: each
// column once, with its type and where the station's record holds it. The
// statements that read the waiting rows here and insert them there are built
// from these tables. Standard C++ only.
#pragma once

#include <array>

namespace pesolane {

enum class ColumnType { Text, Real, Integer, Uuid };

struct SentColumn {
    const char* name;   // in the server's table
    ColumnType type;
    const char* local;  // what the station's record reads for it
};

inline constexpr std::array<SentColumn, 29> kSentCountingColumns{{
    {"identifiant", ColumnType::Uuid, "c.identifiant"},
    {"poste", ColumnType::Text, "c.poste"},
    {"numero", ColumnType::Integer, "c.numero"},
    {"date", ColumnType::Text, "c.date"},
    {"operateur", ColumnType::Text, "c.operateur"},
    {"article", ColumnType::Text, "c.article"},
    {"precision", ColumnType::Real, "c.precision"},
    {"poids_total", ColumnType::Real, "c.poids_total"},
    {"poids_echantillon1", ColumnType::Real, "c.poids_echantillon1"},
    {"pieces_echantillon1", ColumnType::Real, "c.pieces_echantillon1"},
    {"ecart_accepte", ColumnType::Real, "c.ecart_accepte"},
    {"poids_echantillon2", ColumnType::Real, "c.poids_echantillon2"},
    {"pieces_echantillon2", ColumnType::Real, "c.pieces_echantillon2"},
    {"nombre_pieces", ColumnType::Text, "c.nombre_pieces"},
    {"incertitude", ColumnType::Text, "c.incertitude"},
    {"separateur", ColumnType::Text, "c.separateur"},
    {"source_poids_total", ColumnType::Text, "c.source_poids_total"},
    {"ligne_poids_total", ColumnType::Text, "c.ligne_poids_total"},
    {"unite_poids_total", ColumnType::Text, "c.unite_poids_total"},
    {"port_poids_total", ColumnType::Text, "c.port_poids_total"},
    {"source_echantillon1", ColumnType::Text, "c.source_echantillon1"},
    {"ligne_echantillon1", ColumnType::Text, "c.ligne_echantillon1"},
    {"unite_echantillon1", ColumnType::Text, "c.unite_echantillon1"},
    {"port_echantillon1", ColumnType::Text, "c.port_echantillon1"},
    {"source_echantillon2", ColumnType::Text, "c.source_echantillon2"},
    {"ligne_echantillon2", ColumnType::Text, "c.ligne_echantillon2"},
    {"unite_echantillon2", ColumnType::Text, "c.unite_echantillon2"},
    {"port_echantillon2", ColumnType::Text, "c.port_echantillon2"},
    {"avertissement", ColumnType::Text, "c.avertissement"},
}};

// A lot names its counting by the counting's identifier.
inline constexpr std::array<SentColumn, 9> kSentLotColumns{{
    {"identifiant", ColumnType::Uuid, "l.identifiant"},
    {"comptage", ColumnType::Uuid, "c.identifiant"},
    {"poste", ColumnType::Text, "c.poste"},
    {"numero", ColumnType::Integer, "l.id"},
    {"date", ColumnType::Text, "l.date"},
    {"pieces", ColumnType::Real, "l.pieces"},
    {"poids", ColumnType::Text, "l.poids"},
    {"incertitude", ColumnType::Text, "l.incertitude"},
    {"separateur", ColumnType::Text, "l.separateur"},
}};

// The columns of the CSV, the same from the station's record and from the
// server: the counting's (c) and its lot's (l), in the CSV's order.
inline constexpr const char* kCsvSelect =
    "c.numero, c.date, c.poste, c.operateur, c.article, c.precision, c.poids_total, c.source_poids_total, "
    "c.poids_echantillon1, c.source_echantillon1, c.pieces_echantillon1, c.ecart_accepte, c.poids_echantillon2, "
    "c.source_echantillon2, c.pieces_echantillon2, c.nombre_pieces, c.incertitude, c.separateur, l.pieces, l.poids, "
    "l.incertitude, l.separateur";

}  // namespace pesolane
