-- kind: addition
-- Brigade jobs: one operation done by several workers together, its quantity
-- split among them by hours times the labour-participation coefficient (КТУ).
-- Each member's share is an ordinary production record in smena, which points
-- back here through id_doc (the job) and id_doc_item (the member); the records
-- carry the pay, the time sheets and the reports as any other record does.

CREATE TABLE IF NOT EXISTS accounts_dep.brigade_job (
    id       serial PRIMARY KEY,
    data     date NOT NULL,
    smena    smallint NOT NULL,
    i_id     integer NOT NULL,
    o_id     integer NOT NULL,
    color    integer NOT NULL DEFAULT 0,
    kol_vo   numeric(15, 3) NOT NULL CHECK (kol_vo >= 0),
    brak     integer NOT NULL DEFAULT 0 CHECK (brak >= 0),
    day_off  boolean NOT NULL DEFAULT false,
    -- The piece price as written on the members' records (smena.cena).
    cena     double precision NOT NULL,
    vvod     timestamp NOT NULL DEFAULT now()
);
CREATE INDEX IF NOT EXISTS brigade_job_data_idx ON accounts_dep.brigade_job (data, smena);

CREATE TABLE IF NOT EXISTS accounts_dep.brigade_member (
    id        serial PRIMARY KEY,
    job_id    integer NOT NULL REFERENCES accounts_dep.brigade_job (id),
    w_id      integer NOT NULL,
    hours     integer NOT NULL CHECK (hours >= 0),
    ktu       numeric(3, 2) NOT NULL DEFAULT 1.00 CHECK (ktu BETWEEN 0.00 AND 9.99),
    -- The order the foreman listed the members in; it breaks the ties of the split.
    position  integer NOT NULL,
    UNIQUE (job_id, w_id)
);
CREATE INDEX IF NOT EXISTS brigade_member_w_id_idx ON accounts_dep.brigade_member (w_id);
-- A job's records are found through their reference to it; the other
-- records (id_doc 0) stay out of the index.
CREATE INDEX IF NOT EXISTS smena_id_doc_idx ON accounts_dep.smena (id_doc, id_doc_item)
    WHERE id_doc <> 0;

-- A job and its members belong to the month of the job's date. Members are
-- written before the job is deleted and after it is inserted, so the job is
-- there to name the month.
CREATE OR REPLACE FUNCTION accounts_dep.brigade_member_closed_check() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'INSERT' THEN
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT DISTINCT accounts_dep.month_key(j.data)
                    FROM new_rows n JOIN accounts_dep.brigade_job j ON j.id = n.job_id));
    ELSIF TG_OP = 'UPDATE' THEN
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT accounts_dep.month_key(j.data)
                    FROM new_rows n JOIN accounts_dep.brigade_job j ON j.id = n.job_id
                  UNION SELECT accounts_dep.month_key(j.data)
                    FROM old_rows o JOIN accounts_dep.brigade_job j ON j.id = o.job_id));
    ELSE
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT DISTINCT accounts_dep.month_key(j.data)
                    FROM old_rows o JOIN accounts_dep.brigade_job j ON j.id = o.job_id));
    END IF;
    RETURN NULL;
END $$;

-- The job has a date of its own: the check of the production records reads
-- the same column.
SELECT accounts_dep.guard_closed_months('brigade_job', 'smena_closed_check');
SELECT accounts_dep.guard_closed_months('brigade_member', 'brigade_member_closed_check');
SELECT accounts_dep.log_table_changes('brigade_job', '');
SELECT accounts_dep.log_table_changes('brigade_member', 'w_id');
