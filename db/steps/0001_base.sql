-- kind: addition
-- The client's own tables as the first version of the program left them.
-- Written so that it also passes over a plant database where that version
-- created them already: every object is created only when missing.

CREATE SCHEMA IF NOT EXISTS accounts_dep;

-- Production records: one row per worker, operation, product, colour, date and shift.
CREATE TABLE IF NOT EXISTS accounts_dep.smena (
    id            serial PRIMARY KEY,
    data          date,
    smena         smallint,
    w_id          integer,
    i_id          integer,
    o_id          integer,
    cena          double precision,
    kol_vo        numeric,
    brak          smallint,
    color         integer,
    time          integer,
    ok            text,
    vvod          timestamp,
    prize         double precision,
    id_doc        numeric(15, 0),
    id_doc_item   numeric(15, 0),
    f_gds_qty_use double precision,
    id_gds_use    numeric(15, 0),
    id_cons_use   numeric(15, 0)
);
-- The journal lists one date and shift; the time sheets and reports read a
-- worker's records of a day or a month; reports read date ranges.
CREATE INDEX IF NOT EXISTS smena_data_smena_idx ON accounts_dep.smena (data, smena);
CREATE INDEX IF NOT EXISTS smena_w_id_data_idx ON accounts_dep.smena (w_id, data);
CREATE INDEX IF NOT EXISTS smena_o_id_idx ON accounts_dep.smena (o_id);
-- A product's records are counted and deleted with the product.
CREATE INDEX IF NOT EXISTS smena_i_id_idx ON accounts_dep.smena (i_id);

-- Time-sheet rows: one per worker and month for each way of working.
CREATE TABLE IF NOT EXISTS accounts_dep.h_tabel (
    id      serial PRIMARY KEY,
    w_id    integer,
    month   integer,
    year    integer,
    smena   integer DEFAULT 0,
    i_type  integer DEFAULT 0,
    i_night integer DEFAULT 0,
    d1 integer, d2 integer, d3 integer, d4 integer, d5 integer, d6 integer,
    d7 integer, d8 integer, d9 integer, d10 integer, d11 integer, d12 integer,
    d13 integer, d14 integer, d15 integer, d16 integer, d17 integer, d18 integer,
    d19 integer, d20 integer, d21 integer, d22 integer, d23 integer, d24 integer,
    d25 integer, d26 integer, d27 integer, d28 integer, d29 integer, d30 integer,
    d31 integer
);
CREATE INDEX IF NOT EXISTS h_tabel_worker_month_idx ON accounts_dep.h_tabel (w_id, year, month);
-- A month's rows of one kind: the shift sheets read one shift's rows, the
-- rebuilds replace the shift rows or the housekeeping rows (shift 0).
CREATE INDEX IF NOT EXISTS h_tabel_month_shift_idx ON accounts_dep.h_tabel (year, month, smena);
DROP INDEX IF EXISTS accounts_dep.h_tabel_month_idx;

-- Housekeeping (7777) and average-piecework (7778) entries.
CREATE TABLE IF NOT EXISTS accounts_dep.fatigue (
    id        serial PRIMARY KEY,
    id_o      numeric(15, 0),
    id_p      numeric(15, 0),
    id_nom    numeric(15, 0),
    d_date    date,
    i_mnth    integer,
    i_year    integer,
    i_smena   integer,
    cnt       integer,
    price     numeric,
    i_holiday integer,
    i_night   integer
);
CREATE INDEX IF NOT EXISTS fatigue_d_date_idx ON accounts_dep.fatigue (d_date);
CREATE INDEX IF NOT EXISTS fatigue_worker_month_idx ON accounts_dep.fatigue (id_p, i_year, i_mnth);

-- Operations: one per product, operation type and kind.
CREATE TABLE IF NOT EXISTS accounts_dep.oper (
    id       serial PRIMARY KEY,
    vid      integer,
    naimen   smallint,
    i_id     integer,
    cena_new numeric,
    cena     double precision
);
CREATE INDEX IF NOT EXISTS oper_i_id_idx ON accounts_dep.oper (i_id);

-- Price norms of operations.
CREATE TABLE IF NOT EXISTS accounts_dep.norm (
    id    serial PRIMARY KEY,
    o_id  integer,
    norma integer,
    prize integer,
    price double precision
);
CREATE INDEX IF NOT EXISTS norm_o_id_idx ON accounts_dep.norm (o_id);

-- Operation types; 7777 and 7778 have fixed ids.
CREATE TABLE IF NOT EXISTS accounts_dep.vid_oper (
    id  serial PRIMARY KEY,
    vid text
);
INSERT INTO accounts_dep.vid_oper (id, vid) VALUES (7777, 'Хоз. работы')
    ON CONFLICT (id) DO NOTHING;
INSERT INTO accounts_dep.vid_oper (id, vid) VALUES (7778, 'Ср. сдельная')
    ON CONFLICT (id) DO NOTHING;

-- Stamp row of the version gate; only the first row is read.
CREATE TABLE IF NOT EXISTS accounts_dep.ver (
    d     integer,
    t     integer,
    delim varchar(255)
);

-- Tables of the earlier desktop system, written only by the legacy import.
CREATE TABLE IF NOT EXISTS accounts_dep.workers (
    id   serial PRIMARY KEY,
    fio  text,
    addr text
);
CREATE TABLE IF NOT EXISTS accounts_dep.nomenkl (
    id    serial PRIMARY KEY,
    nom   text,
    marka text
);
