-- Pesolane: the site's record of countings, on PostgreSQL (15 or later).
--
-- Run once, by the site's administrator, in the site's database, with a role
-- that may create schemas and roles:
--   psql -v ON_ERROR_STOP=1 -d pesolane -f /usr/share/pesolane/serveur.sql
-- or: pesolane --preparer-serveur --serveur 'postgresql://admin@stock/pesolane'
-- One transaction: all of it, or nothing.
--
-- It makes the schema `pesolane`, its tables (every station's countings and
-- lots, each with its station, its number in the station's record and its
-- identifier), triggers that refuse any update or delete, the version the
-- stations check before they send, and two roles without login:
--   pesolane_poste  for the stations: may insert, and read back only the
--                   identifiers its own login sent;
--   pesolane_stock  for the stock system: may only read.
-- Each station logs in with a role of its own that is a member of
-- pesolane_poste (CREATE ROLE poste_magasin LOGIN IN ROLE pesolane_poste).

BEGIN;

DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'pesolane_poste') THEN
    CREATE ROLE pesolane_poste NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'pesolane_stock') THEN
    CREATE ROLE pesolane_stock NOLOGIN;
  END IF;
END
$$;

CREATE SCHEMA pesolane;

CREATE TABLE pesolane.version (version integer NOT NULL);
INSERT INTO pesolane.version VALUES (1);

CREATE TABLE pesolane.comptage (
  identifiant uuid PRIMARY KEY,
  poste text NOT NULL,
  numero bigint NOT NULL,
  date text NOT NULL,
  operateur text NOT NULL,
  article text NOT NULL,
  precision double precision NOT NULL,
  poids_total double precision NOT NULL,
  poids_echantillon1 double precision NOT NULL,
  pieces_echantillon1 double precision NOT NULL,
  ecart_accepte double precision NOT NULL,
  poids_echantillon2 double precision NOT NULL,
  pieces_echantillon2 double precision NOT NULL,
  nombre_pieces text NOT NULL,
  incertitude text NOT NULL,
  separateur text NOT NULL,
  source_poids_total text NOT NULL,
  ligne_poids_total text, unite_poids_total text, port_poids_total text,
  source_echantillon1 text NOT NULL,
  ligne_echantillon1 text, unite_echantillon1 text, port_echantillon1 text,
  source_echantillon2 text NOT NULL,
  ligne_echantillon2 text, unite_echantillon2 text, port_echantillon2 text,
  avertissement text NOT NULL,
  -- who sent it and when it arrived: the server's, never the station's
  envoye_par name NOT NULL DEFAULT session_user,
  recu timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX comptage_poste ON pesolane.comptage (poste, numero);

CREATE TABLE pesolane.lot (
  identifiant uuid PRIMARY KEY,
  comptage uuid NOT NULL REFERENCES pesolane.comptage (identifiant),
  poste text NOT NULL,
  numero bigint NOT NULL,
  date text NOT NULL,
  pieces double precision NOT NULL,
  poids text NOT NULL,
  incertitude text NOT NULL,
  separateur text NOT NULL,
  envoye_par name NOT NULL DEFAULT session_user,
  recu timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX lot_comptage ON pesolane.lot (comptage, numero);

-- Nothing recorded is ever changed or removed, by any role but one that
-- drops the triggers themselves.
CREATE FUNCTION pesolane.refuser() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  RAISE EXCEPTION 'le journal du site ne se modifie pas : % refusé sur %', TG_OP, TG_TABLE_NAME
    USING ERRCODE = 'insufficient_privilege';
END
$$;
CREATE TRIGGER garde BEFORE UPDATE OR DELETE ON pesolane.comptage FOR EACH ROW EXECUTE FUNCTION pesolane.refuser();
CREATE TRIGGER garde_vidage BEFORE TRUNCATE ON pesolane.comptage FOR EACH STATEMENT EXECUTE FUNCTION pesolane.refuser();
CREATE TRIGGER garde BEFORE UPDATE OR DELETE ON pesolane.lot FOR EACH ROW EXECUTE FUNCTION pesolane.refuser();
CREATE TRIGGER garde_vidage BEFORE TRUNCATE ON pesolane.lot FOR EACH STATEMENT EXECUTE FUNCTION pesolane.refuser();
CREATE TRIGGER garde BEFORE UPDATE OR DELETE ON pesolane.version FOR EACH ROW EXECUTE FUNCTION pesolane.refuser();
CREATE TRIGGER garde_vidage BEFORE TRUNCATE ON pesolane.version FOR EACH STATEMENT EXECUTE FUNCTION pesolane.refuser();

-- A station sees only the rows its own login sent, and sends only as itself.
ALTER TABLE pesolane.comptage ENABLE ROW LEVEL SECURITY;
ALTER TABLE pesolane.lot ENABLE ROW LEVEL SECURITY;
CREATE POLICY poste_envoie ON pesolane.comptage FOR INSERT TO pesolane_poste WITH CHECK (envoye_par = session_user);
CREATE POLICY poste_relit ON pesolane.comptage FOR SELECT TO pesolane_poste USING (envoye_par = session_user);
CREATE POLICY stock_lit ON pesolane.comptage FOR SELECT TO pesolane_stock USING (true);
CREATE POLICY poste_envoie ON pesolane.lot FOR INSERT TO pesolane_poste WITH CHECK (envoye_par = session_user);
CREATE POLICY poste_relit ON pesolane.lot FOR SELECT TO pesolane_poste USING (envoye_par = session_user);
CREATE POLICY stock_lit ON pesolane.lot FOR SELECT TO pesolane_stock USING (true);

GRANT USAGE ON SCHEMA pesolane TO pesolane_poste, pesolane_stock;
GRANT SELECT ON pesolane.version TO pesolane_poste, pesolane_stock;
GRANT INSERT (identifiant, poste, numero, date, operateur, article, precision, poids_total, poids_echantillon1,
              pieces_echantillon1, ecart_accepte, poids_echantillon2, pieces_echantillon2, nombre_pieces, incertitude,
              separateur, source_poids_total, ligne_poids_total, unite_poids_total, port_poids_total,
              source_echantillon1, ligne_echantillon1, unite_echantillon1, port_echantillon1, source_echantillon2,
              ligne_echantillon2, unite_echantillon2, port_echantillon2, avertissement)
  ON pesolane.comptage TO pesolane_poste;
GRANT INSERT (identifiant, comptage, poste, numero, date, pieces, poids, incertitude, separateur)
  ON pesolane.lot TO pesolane_poste;
GRANT SELECT (identifiant, envoye_par) ON pesolane.comptage, pesolane.lot TO pesolane_poste;
GRANT SELECT ON pesolane.comptage, pesolane.lot TO pesolane_stock;

COMMIT;
