-- kind: addition
-- Closed months and the change history, both kept by the database itself so
-- that no client (this program, an older build, psql, another application)
-- can write into a paid month or change money-bearing rows unrecorded.
--
-- Who writes: the program names itself per session through the settings
-- tabel.role and tabel.workstation; any other client is "другое приложение".
--
-- Month keys are year * 100 + month, the same numbers the program's month
-- locks use: pg_advisory_xact_lock_shared(0, key) by every write of a month,
-- pg_advisory_xact_lock(0, key) by a whole-month rebuild and by a close.

-- The months nobody may change any more.
CREATE TABLE IF NOT EXISTS accounts_dep.closed_month (
    year        integer NOT NULL,
    month       integer NOT NULL CHECK (month BETWEEN 1 AND 12),
    closed_at   timestamptz NOT NULL DEFAULT now(),
    closed_by   text NOT NULL
        DEFAULT coalesce(nullif(current_setting('tabel.role', true), ''), 'другое приложение'),
    workstation text DEFAULT nullif(current_setting('tabel.workstation', true), ''),
    db_user     text NOT NULL DEFAULT session_user,
    note        text,
    PRIMARY KEY (year, month)
);

-- One row that every close updates. A writer whose transaction works on an
-- older snapshot (repeatable read, serializable) locks it, and so fails with
-- a serialization error instead of writing past a close it cannot see.
CREATE TABLE IF NOT EXISTS accounts_dep.month_closing (
    id     integer PRIMARY KEY CHECK (id = 1),
    closes bigint NOT NULL DEFAULT 0
);
INSERT INTO accounts_dep.month_closing (id) VALUES (1) ON CONFLICT (id) DO NOTHING;

-- Who changed what: one row per inserted, changed or deleted row of the
-- money-bearing tables, and one per close or reopening of a month. Written
-- in the same transaction as the change; the program never changes it.
CREATE TABLE IF NOT EXISTS accounts_dep.change_log (
    id          bigserial PRIMARY KEY,
    changed_at  timestamptz NOT NULL DEFAULT now(),
    db_user     text NOT NULL DEFAULT session_user,
    app_role    text NOT NULL
        DEFAULT coalesce(nullif(current_setting('tabel.role', true), ''), 'другое приложение'),
    workstation text DEFAULT coalesce(nullif(current_setting('tabel.workstation', true), ''),
                                      host(inet_client_addr())),
    table_name  text NOT NULL,
    row_id      bigint,
    action      text NOT NULL
        CHECK (action IN ('insert', 'update', 'delete', 'close', 'reopen')),
    worker_id   bigint,
    old_values  jsonb,
    new_values  jsonb,
    note        text
);
-- A record's history; the period's history; a worker's history.
CREATE INDEX IF NOT EXISTS change_log_row_idx ON accounts_dep.change_log (table_name, row_id, id);
CREATE INDEX IF NOT EXISTS change_log_changed_at_idx ON accounts_dep.change_log (changed_at);
CREATE INDEX IF NOT EXISTS change_log_worker_idx ON accounts_dep.change_log (worker_id, changed_at)
    WHERE worker_id IS NOT NULL;

-- The refusal every client meets. SQLSTATE TB001 lets the program tell it
-- from other errors; the message names the month.
CREATE OR REPLACE FUNCTION accounts_dep.closed_month_text(month_key integer) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT format('Месяц %s.%s закрыт: изменения запрещены.',
                  lpad((month_key % 100)::text, 2, '0'), month_key / 100)
$$;

-- Waits for any close of these months that is under way, then refuses the
-- write when one of them is closed. The shared lock is held to the end of
-- the transaction, so a close that starts later waits for this write to
-- commit and checks the month with it.
CREATE OR REPLACE FUNCTION accounts_dep.refuse_closed_months(month_keys integer[]) RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    key integer;
    keys integer[];
    closed integer;
BEGIN
    SELECT array_agg(DISTINCT k ORDER BY k) INTO keys
      FROM unnest(month_keys) k WHERE k IS NOT NULL;
    IF keys IS NULL THEN
        RETURN;
    END IF;
    -- Ascending, as the program takes month locks.
    FOREACH key IN ARRAY keys LOOP
        PERFORM pg_advisory_xact_lock_shared(0, key);
    END LOOP;
    IF current_setting('transaction_isolation') <> 'read committed' THEN
        PERFORM 1 FROM accounts_dep.month_closing WHERE id = 1 FOR SHARE;
    END IF;
    SELECT c.year * 100 + c.month INTO closed
      FROM accounts_dep.closed_month c
     WHERE c.year * 100 + c.month = ANY (keys)
     ORDER BY 1 LIMIT 1;
    IF closed IS NOT NULL THEN
        RAISE EXCEPTION USING ERRCODE = 'TB001',
            MESSAGE = accounts_dep.closed_month_text(closed),
            DETAIL = format('closed month %s', closed);
    END IF;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.month_key(d date) RETURNS integer
LANGUAGE sql IMMUTABLE AS $$
    SELECT (extract(year FROM d) * 100 + extract(month FROM d))::integer
$$;

-- Statement-level checks over the rows the statement wrote: a rebuild that
-- writes thousands of time-sheet rows asks once per month, not once per row.
CREATE OR REPLACE FUNCTION accounts_dep.smena_closed_check() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'INSERT' THEN
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT DISTINCT accounts_dep.month_key(n.data) FROM new_rows n));
    ELSIF TG_OP = 'UPDATE' THEN
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT accounts_dep.month_key(n.data) FROM new_rows n
                  UNION SELECT accounts_dep.month_key(o.data) FROM old_rows o));
    ELSE
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT DISTINCT accounts_dep.month_key(o.data) FROM old_rows o));
    END IF;
    RETURN NULL;
END $$;

-- A housekeeping entry belongs to the month of its date and to the month it
-- is booked in; both are checked.
CREATE OR REPLACE FUNCTION accounts_dep.fatigue_closed_check() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'INSERT' THEN
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT accounts_dep.month_key(n.d_date) FROM new_rows n
                  UNION SELECT n.i_year * 100 + n.i_mnth FROM new_rows n));
    ELSIF TG_OP = 'UPDATE' THEN
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT accounts_dep.month_key(n.d_date) FROM new_rows n
                  UNION SELECT n.i_year * 100 + n.i_mnth FROM new_rows n
                  UNION SELECT accounts_dep.month_key(o.d_date) FROM old_rows o
                  UNION SELECT o.i_year * 100 + o.i_mnth FROM old_rows o));
    ELSE
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT accounts_dep.month_key(o.d_date) FROM old_rows o
                  UNION SELECT o.i_year * 100 + o.i_mnth FROM old_rows o));
    END IF;
    RETURN NULL;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.h_tabel_closed_check() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'INSERT' THEN
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT DISTINCT n.year * 100 + n.month FROM new_rows n));
    ELSIF TG_OP = 'UPDATE' THEN
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT n.year * 100 + n.month FROM new_rows n
                  UNION SELECT o.year * 100 + o.month FROM old_rows o));
    ELSE
        PERFORM accounts_dep.refuse_closed_months(
            ARRAY(SELECT DISTINCT o.year * 100 + o.month FROM old_rows o));
    END IF;
    RETURN NULL;
END $$;

-- TRUNCATE passes row triggers by; it is refused while any month is closed.
CREATE OR REPLACE FUNCTION accounts_dep.refuse_truncate_when_closed() RETURNS trigger
LANGUAGE plpgsql AS $$
DECLARE
    closed text;
BEGIN
    SELECT string_agg(lpad(c.month::text, 2, '0') || '.' || c.year, ', '
                      ORDER BY c.year, c.month) INTO closed
      FROM accounts_dep.closed_month c;
    IF closed IS NOT NULL THEN
        RAISE EXCEPTION USING ERRCODE = 'TB001',
            MESSAGE = format('Закрыты месяцы %s: очистка таблицы %s запрещена.', closed, TG_TABLE_NAME);
    END IF;
    RETURN NULL;
END $$;

-- The history row of each written row: inserts keep the new values, deletes
-- the old ones, changes only the columns whose values changed, before and
-- after. TG_ARGV[0] names the column that holds the worker, if any.
CREATE OR REPLACE FUNCTION accounts_dep.log_changes() RETURNS trigger
LANGUAGE plpgsql AS $$
DECLARE
    worker_column text := nullif(TG_ARGV[0], '');
BEGIN
    IF TG_OP = 'INSERT' THEN
        INSERT INTO accounts_dep.change_log (table_name, row_id, action, worker_id, new_values)
        SELECT TG_TABLE_NAME, (j ->> 'id')::numeric, 'insert',
               (j ->> worker_column)::numeric, jsonb_strip_nulls(j)
          FROM new_rows n, LATERAL to_jsonb(n) j;
    ELSIF TG_OP = 'DELETE' THEN
        INSERT INTO accounts_dep.change_log (table_name, row_id, action, worker_id, old_values)
        SELECT TG_TABLE_NAME, (j ->> 'id')::numeric, 'delete',
               (j ->> worker_column)::numeric, jsonb_strip_nulls(j)
          FROM old_rows o, LATERAL to_jsonb(o) j;
    ELSE
        INSERT INTO accounts_dep.change_log
               (table_name, row_id, action, worker_id, old_values, new_values)
        SELECT TG_TABLE_NAME, coalesce(nj ->> 'id', oj ->> 'id')::numeric, 'update',
               coalesce(nj ->> worker_column, oj ->> worker_column)::numeric,
               d.old_values, d.new_values
          FROM (SELECT to_jsonb(n) AS nj FROM new_rows n) nr
          FULL JOIN (SELECT to_jsonb(o) AS oj FROM old_rows o) orr ON nj -> 'id' = oj -> 'id'
          CROSS JOIN LATERAL (
                SELECT jsonb_object_agg(coalesce(a.key, b.key), a.value) AS old_values,
                       jsonb_object_agg(coalesce(a.key, b.key), b.value) AS new_values
                  FROM jsonb_each(coalesce(oj, '{}')) a
                  FULL JOIN jsonb_each(coalesce(nj, '{}')) b ON a.key = b.key
                 WHERE a.value IS DISTINCT FROM b.value) d
         WHERE d.new_values IS NOT NULL;
    END IF;
    RETURN NULL;
END $$;

-- Closing and reopening. A row of closed_month appears only under the
-- month's exclusive lock, which waits for every write of the month under
-- way and keeps new ones out until the close commits. Reopening needs a
-- reason, handed over in the setting tabel.reopen_reason
-- (accounts_dep.reopen_month sets it).
CREATE OR REPLACE FUNCTION accounts_dep.closed_month_guard() RETURNS trigger
LANGUAGE plpgsql AS $$
DECLARE
    reason text;
BEGIN
    IF TG_OP = 'UPDATE' THEN
        RAISE EXCEPTION 'Закрытый месяц не изменяют: его открывают с указанием причины и закрывают снова.';
    END IF;
    IF TG_OP = 'INSERT' THEN
        PERFORM pg_advisory_xact_lock(0, NEW.year * 100 + NEW.month);
        UPDATE accounts_dep.month_closing SET closes = closes + 1 WHERE id = 1;
        INSERT INTO accounts_dep.change_log (table_name, row_id, action, new_values, note)
        VALUES ('closed_month', NEW.year * 100 + NEW.month, 'close',
                jsonb_build_object('year', NEW.year, 'month', NEW.month), NEW.note);
        RETURN NEW;
    END IF;
    reason := btrim(coalesce(current_setting('tabel.reopen_reason', true), ''));
    IF reason = '' THEN
        RAISE EXCEPTION 'Месяц %.% открывают только с указанием причины.',
            lpad(OLD.month::text, 2, '0'), OLD.year;
    END IF;
    PERFORM pg_advisory_xact_lock(0, OLD.year * 100 + OLD.month);
    INSERT INTO accounts_dep.change_log (table_name, row_id, action, old_values, note)
    VALUES ('closed_month', OLD.year * 100 + OLD.month, 'reopen',
            jsonb_build_object('year', OLD.year, 'month', OLD.month, 'closed_at', OLD.closed_at,
                               'closed_by', OLD.closed_by, 'note', OLD.note),
            reason);
    RETURN OLD;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.close_month(p_year integer, p_month integer,
                                                    p_note text DEFAULT NULL) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM pg_advisory_xact_lock(0, p_year * 100 + p_month);
    INSERT INTO accounts_dep.closed_month (year, month, note) VALUES (p_year, p_month, p_note);
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.reopen_month(p_year integer, p_month integer,
                                                     p_reason text) RETURNS boolean
LANGUAGE plpgsql AS $$
DECLARE
    reopened integer;
BEGIN
    PERFORM set_config('tabel.reopen_reason', coalesce(p_reason, ''), true);
    DELETE FROM accounts_dep.closed_month WHERE year = p_year AND month = p_month;
    GET DIAGNOSTICS reopened = ROW_COUNT;
    PERFORM set_config('tabel.reopen_reason', '', true);
    RETURN reopened > 0;
END $$;

-- The workers are rows of the people registry, which belongs to another
-- application and gets no triggers of ours: the program writes their history
-- through this function in the transaction of the change. For a change, only
-- the keys whose values differ are kept.
CREATE OR REPLACE FUNCTION accounts_dep.log_worker_change(p_action text, p_id bigint,
                                                          p_old jsonb, p_new jsonb) RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    old_values jsonb := p_old;
    new_values jsonb := p_new;
BEGIN
    IF p_action = 'update' THEN
        SELECT jsonb_object_agg(coalesce(a.key, b.key), a.value),
               jsonb_object_agg(coalesce(a.key, b.key), b.value)
          INTO old_values, new_values
          FROM jsonb_each(coalesce(p_old, '{}')) a
          FULL JOIN jsonb_each(coalesce(p_new, '{}')) b ON a.key = b.key
         WHERE a.value IS DISTINCT FROM b.value;
        IF new_values IS NULL THEN
            RETURN;
        END IF;
    END IF;
    INSERT INTO accounts_dep.change_log (table_name, row_id, action, worker_id, old_values, new_values)
    VALUES ('person', p_id, p_action, p_id, old_values, new_values);
END $$;

-- The history stays as written: rows may be pruned, never changed.
CREATE OR REPLACE FUNCTION accounts_dep.change_log_frozen() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    RAISE EXCEPTION 'История изменений не изменяется.';
END $$;

-- Puts a table under the closed months: the statement-level checks of its
-- written rows through check_function, and the refusal of TRUNCATE. Made
-- again on every call, so a step also passes over a database that has them.
CREATE OR REPLACE FUNCTION accounts_dep.guard_closed_months(table_name text, check_function text)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    event text;
BEGIN
    FOREACH event IN ARRAY ARRAY['insert', 'update', 'delete', 'truncate'] LOOP
        EXECUTE format('DROP TRIGGER IF EXISTS %1$s_closed_%2$s ON accounts_dep.%1$s', table_name, event);
    END LOOP;
    EXECUTE format('CREATE TRIGGER %1$s_closed_insert AFTER INSERT ON accounts_dep.%1$s '
                   'REFERENCING NEW TABLE AS new_rows FOR EACH STATEMENT '
                   'EXECUTE FUNCTION accounts_dep.%2$s()', table_name, check_function);
    EXECUTE format('CREATE TRIGGER %1$s_closed_update AFTER UPDATE ON accounts_dep.%1$s '
                   'REFERENCING OLD TABLE AS old_rows NEW TABLE AS new_rows FOR EACH STATEMENT '
                   'EXECUTE FUNCTION accounts_dep.%2$s()', table_name, check_function);
    EXECUTE format('CREATE TRIGGER %1$s_closed_delete AFTER DELETE ON accounts_dep.%1$s '
                   'REFERENCING OLD TABLE AS old_rows FOR EACH STATEMENT '
                   'EXECUTE FUNCTION accounts_dep.%2$s()', table_name, check_function);
    EXECUTE format('CREATE TRIGGER %1$s_closed_truncate BEFORE TRUNCATE ON accounts_dep.%1$s '
                   'FOR EACH STATEMENT EXECUTE FUNCTION accounts_dep.refuse_truncate_when_closed()',
                   table_name);
END $$;

-- Puts a table under the change history; worker_column names the column
-- that holds the worker ('' for none).
CREATE OR REPLACE FUNCTION accounts_dep.log_table_changes(table_name text, worker_column text)
RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    EXECUTE format('DROP TRIGGER IF EXISTS %1$s_log_insert ON accounts_dep.%1$s', table_name);
    EXECUTE format('DROP TRIGGER IF EXISTS %1$s_log_update ON accounts_dep.%1$s', table_name);
    EXECUTE format('DROP TRIGGER IF EXISTS %1$s_log_delete ON accounts_dep.%1$s', table_name);
    EXECUTE format('CREATE TRIGGER %1$s_log_insert AFTER INSERT ON accounts_dep.%1$s '
                   'REFERENCING NEW TABLE AS new_rows FOR EACH STATEMENT '
                   'EXECUTE FUNCTION accounts_dep.log_changes(%2$L)', table_name, worker_column);
    EXECUTE format('CREATE TRIGGER %1$s_log_update AFTER UPDATE ON accounts_dep.%1$s '
                   'REFERENCING OLD TABLE AS old_rows NEW TABLE AS new_rows FOR EACH STATEMENT '
                   'EXECUTE FUNCTION accounts_dep.log_changes(%2$L)', table_name, worker_column);
    EXECUTE format('CREATE TRIGGER %1$s_log_delete AFTER DELETE ON accounts_dep.%1$s '
                   'REFERENCING OLD TABLE AS old_rows FOR EACH STATEMENT '
                   'EXECUTE FUNCTION accounts_dep.log_changes(%2$L)', table_name, worker_column);
END $$;

SELECT accounts_dep.guard_closed_months('smena', 'smena_closed_check');
SELECT accounts_dep.guard_closed_months('fatigue', 'fatigue_closed_check');
SELECT accounts_dep.guard_closed_months('h_tabel', 'h_tabel_closed_check');
SELECT accounts_dep.log_table_changes('smena', 'w_id');
SELECT accounts_dep.log_table_changes('fatigue', 'id_p');
SELECT accounts_dep.log_table_changes('norm', '');
SELECT accounts_dep.log_table_changes('oper', '');

DROP TRIGGER IF EXISTS closed_month_guard ON accounts_dep.closed_month;
CREATE TRIGGER closed_month_guard BEFORE INSERT OR UPDATE OR DELETE ON accounts_dep.closed_month
    FOR EACH ROW EXECUTE FUNCTION accounts_dep.closed_month_guard();
DROP TRIGGER IF EXISTS change_log_frozen ON accounts_dep.change_log;
CREATE TRIGGER change_log_frozen BEFORE UPDATE ON accounts_dep.change_log
    FOR EACH ROW EXECUTE FUNCTION accounts_dep.change_log_frozen();
