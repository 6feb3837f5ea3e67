-- Stand-ins for the tables of the plant's other applications (people registry,
-- classifier, goods, departments, staff positions, roles) and for the two
-- views through which this client sees workers and products.
-- Used only by the demo and the test databases: on the plant's server these
-- objects already exist and belong to other applications.
-- Run before the upgrade steps of our own schema.

DO $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_type WHERE typname = 't_id') THEN
        CREATE DOMAIN public.t_id AS numeric(15, 0);
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_type WHERE typname = 't_integer') THEN
        CREATE DOMAIN public.t_integer AS integer;
    END IF;
END $$;

CREATE SCHEMA IF NOT EXISTS cmn_contractor;
CREATE SCHEMA IF NOT EXISTS cmn_classifier;
CREATE SCHEMA IF NOT EXISTS cmn_gds_and_srv;
CREATE SCHEMA IF NOT EXISTS cmn_department;
CREATE SCHEMA IF NOT EXISTS hrms_staffpos;
CREATE SCHEMA IF NOT EXISTS adm_role;
CREATE SCHEMA IF NOT EXISTS accounts_dep;

-- The registry of every person the plant's information system knows:
-- workers, office staff, customers' contacts, former employees.
-- Only its primary key is indexed; s_code is free text.
CREATE SEQUENCE IF NOT EXISTS cmn_contractor.person_id_seq START 100000;
CREATE TABLE IF NOT EXISTS cmn_contractor.person (
    id          numeric(15, 0) PRIMARY KEY DEFAULT nextval('cmn_contractor.person_id_seq'),
    s_code      text,
    s_caption   varchar(254),
    s_inn       varchar(12),
    d_birth     date,
    b_worker    integer NOT NULL DEFAULT 0,
    s_dept_hl   varchar(254)
);

-- Departments, staff positions and roles (read by the worker dialog).
CREATE TABLE IF NOT EXISTS cmn_department.department (
    id            numeric(15, 0) PRIMARY KEY,
    id_branch     numeric(15, 0),
    s_code        varchar(254),
    s_caption     varchar(254),
    s_description varchar(4000),
    id_parent     numeric(15, 0)
);
CREATE TABLE IF NOT EXISTS hrms_staffpos.staffpos (
    id            numeric(15, 0) PRIMARY KEY,
    id_department numeric(15, 0),
    s_code        varchar(254),
    s_caption     varchar(254),
    d_begin       date,
    d_end         date,
    s_description varchar(4000)
);
CREATE TABLE IF NOT EXISTS adm_role.roles (
    id        numeric(15, 0) PRIMARY KEY,
    s_name    varchar(30),
    s_caption varchar(254),
    d_begin   date,
    d_end     date,
    b_active  varchar(5)
);

-- The item classifier; nomenclature groups are its level-2 rows.
CREATE TABLE IF NOT EXISTS cmn_classifier.item (
    id              serial PRIMARY KEY,
    id_classifier   numeric(15, 0),
    id_level        numeric(15, 0),
    id_parent       numeric(15, 0),
    s_code          varchar(254),
    s_caption       varchar(254),
    s_description   varchar(4000),
    d_excluded_date date,
    b_excluded      integer
);

-- Goods and services; the plant's products are its rows.
CREATE SEQUENCE IF NOT EXISTS cmn_gds_and_srv.gds_and_srv_id_seq;
CREATE TABLE IF NOT EXISTS cmn_gds_and_srv.gds_and_srv (
    id            numeric(15, 0) PRIMARY KEY DEFAULT nextval('cmn_gds_and_srv.gds_and_srv_id_seq'),
    s_caption     text,
    s_description text,
    id_msm_bs     numeric(15, 0),
    massa         numeric,
    id_class_item numeric(15, 0)
);

-- Products as the client lists them.
CREATE OR REPLACE VIEW accounts_dep.izdel AS
SELECT g.id,
       g.s_caption::varchar(254) AS marka,
       (coalesce(i.s_caption, '') || ' ' || g.s_caption)::varchar(255) AS nom,
       g.massa,
       g.id_class_item,
       g.id_class_item AS id_nom
FROM cmn_gds_and_srv.gds_and_srv g
LEFT JOIN cmn_classifier.item i ON i.id = g.id_class_item;

-- Workers as the client lists them: the registry's persons flagged as workers.
-- The personnel application keeps a worker's code equal to its id.
CREATE OR REPLACE VIEW accounts_dep.person AS
SELECT p.id::integer AS id,
       p.s_caption AS fio,
       p.s_dept_hl AS s_staffpos_hl
FROM cmn_contractor.person p
WHERE p.b_worker = 1;

CREATE OR REPLACE FUNCTION accounts_dep.person_write() RETURNS trigger
LANGUAGE plpgsql AS $$
DECLARE
    new_id numeric(15, 0);
BEGIN
    IF TG_OP = 'INSERT' THEN
        new_id := coalesce(NEW.id, nextval('cmn_contractor.person_id_seq'));
        INSERT INTO cmn_contractor.person (id, s_code, s_caption, b_worker, s_dept_hl)
        VALUES (new_id, new_id::text, NEW.fio, 1, NEW.s_staffpos_hl);
        NEW.id := new_id;
        RETURN NEW;
    ELSIF TG_OP = 'UPDATE' THEN
        UPDATE cmn_contractor.person
           SET s_caption = NEW.fio, s_dept_hl = NEW.s_staffpos_hl
         WHERE id = OLD.id;
        RETURN NEW;
    ELSE
        -- The registry keeps the person; it is only no longer a worker.
        UPDATE cmn_contractor.person SET b_worker = 0 WHERE id = OLD.id;
        RETURN OLD;
    END IF;
END $$;

DROP TRIGGER IF EXISTS person_write ON accounts_dep.person;
CREATE TRIGGER person_write INSTEAD OF INSERT OR UPDATE OR DELETE ON accounts_dep.person
    FOR EACH ROW EXECUTE FUNCTION accounts_dep.person_write();
