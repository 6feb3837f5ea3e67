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
CREATE SCHEMA IF NOT EXISTS hrms_demo;
CREATE SCHEMA IF NOT EXISTS accounts_dep;

-- The registry of every person the plant's information system knows:
-- workers, office staff, customers' contacts, former employees.
-- Only its primary key is indexed; s_code is free text.
CREATE SEQUENCE IF NOT EXISTS cmn_contractor.person_id_seq START 100000;
CREATE TABLE IF NOT EXISTS cmn_contractor.person (
    id          numeric(15, 0) PRIMARY KEY DEFAULT nextval('cmn_contractor.person_id_seq'),
    s_code      text,
    s_caption   varchar(254)
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

-- The personnel application's own record of who works here and where: the
-- demo's stand-in for what the plant's view of workers reads behind the
-- registry. Keyed by the worker's number, so that a worker is found by id
-- without a pass over the whole registry.
CREATE TABLE IF NOT EXISTS hrms_demo.worker (
    person_id integer PRIMARY KEY,
    dept      varchar(254)
);

-- A database made by an earlier version of this script kept the worker flag
-- and the department in the registry itself: they move to the stand-in here,
-- and leave the registry once the view below no longer reads them.
DO $$
BEGIN
    IF EXISTS (SELECT 1 FROM information_schema.columns
               WHERE table_schema = 'cmn_contractor' AND table_name = 'person'
                 AND column_name = 'b_worker') THEN
        EXECUTE 'INSERT INTO hrms_demo.worker (person_id, dept)
                 SELECT id::integer, s_dept_hl FROM cmn_contractor.person
                 WHERE b_worker = 1 ON CONFLICT DO NOTHING';
    END IF;
END $$;

-- Workers as the client lists them: the registry's persons the personnel
-- application counts as workers. It keeps a worker's code equal to its id.
-- Each worker's name is looked up by the registry's key (OFFSET 0 keeps the
-- lookup from being turned into a join): listing the workers reads as many
-- registry rows as there are workers, never the whole registry.
CREATE OR REPLACE VIEW accounts_dep.person AS
SELECT w.person_id AS id,
       p.s_caption AS fio,
       w.dept AS s_staffpos_hl
FROM hrms_demo.worker w
CROSS JOIN LATERAL (SELECT r.s_caption FROM cmn_contractor.person r
                    WHERE r.id = w.person_id OFFSET 0) p;

DO $$
BEGIN
    IF EXISTS (SELECT 1 FROM information_schema.columns
               WHERE table_schema = 'cmn_contractor' AND table_name = 'person'
                 AND column_name = 'b_worker') THEN
        ALTER TABLE cmn_contractor.person
            DROP COLUMN IF EXISTS s_inn, DROP COLUMN IF EXISTS d_birth,
            DROP COLUMN IF EXISTS b_worker, DROP COLUMN IF EXISTS s_dept_hl;
        ANALYZE hrms_demo.worker;
    END IF;
END $$;

-- Writes with its owner's rights, as the personnel application's own view
-- would: a person's login that may write the workers view needs no rights on
-- the registry behind it.
CREATE OR REPLACE FUNCTION accounts_dep.person_write() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    new_id numeric(15, 0);
BEGIN
    IF TG_OP = 'INSERT' THEN
        new_id := coalesce(NEW.id, nextval('cmn_contractor.person_id_seq'));
        INSERT INTO cmn_contractor.person (id, s_code, s_caption)
        VALUES (new_id, new_id::text, NEW.fio);
        INSERT INTO hrms_demo.worker (person_id, dept) VALUES (new_id, NEW.s_staffpos_hl);
        NEW.id := new_id;
        RETURN NEW;
    ELSIF TG_OP = 'UPDATE' THEN
        UPDATE cmn_contractor.person SET s_caption = NEW.fio WHERE id = OLD.id;
        UPDATE hrms_demo.worker SET dept = NEW.s_staffpos_hl WHERE person_id = OLD.id;
        RETURN NEW;
    ELSE
        -- The registry keeps the person; it is only no longer a worker.
        DELETE FROM hrms_demo.worker WHERE person_id = OLD.id;
        RETURN OLD;
    END IF;
END $$;

DROP TRIGGER IF EXISTS person_write ON accounts_dep.person;
CREATE TRIGGER person_write INSTEAD OF INSERT OR UPDATE OR DELETE ON accounts_dep.person
    FOR EACH ROW EXECUTE FUNCTION accounts_dep.person_write();
