-- kind: addition
-- Who wrote a history row is found once per statement, not once per row. A
-- statement that re-prices a month writes tens of thousands of history rows;
-- finding the writer's role took two catalog queries per row (the column's
-- default, then the stamping trigger), which cost more than the writes.

-- The same answer as before, in one function the server keeps planned: the
-- SQL function it replaces called another SQL function with settings of its
-- own, which the server plans again at every call.
CREATE OR REPLACE FUNCTION accounts_dep.session_app_role() RETURNS text
LANGUAGE plpgsql STABLE SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    groups constant text[] := ARRAY['tabel_admin', 'tabel_office', 'tabel_foreman', 'tabel_store'];
    names constant text[] := ARRAY['администратор', 'контора', 'мастер', 'склад'];
BEGIN
    -- A superuser is a member of every role: only a real membership counts.
    IF NOT (SELECT u.rolsuper FROM pg_roles u WHERE u.rolname = session_user) THEN
        FOR i IN 1 .. array_length(groups, 1) LOOP
            IF to_regrole(groups[i]) IS NOT NULL
               AND pg_has_role(session_user, groups[i]::name, 'USAGE') THEN
                RETURN names[i];
            END IF;
        END LOOP;
    END IF;
    RETURN coalesce(nullif(current_setting('tabel.role', true), ''), 'другое приложение');
END $$;

-- The history of a table's writes, as before, with the writer's role found
-- once for the whole statement. An update pairs its rows before and after by
-- their typed key (every table with a history has an `id`), not by a key
-- read out of their JSON.
CREATE OR REPLACE FUNCTION accounts_dep.log_changes() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp AS $$
DECLARE
    worker_column text := nullif(TG_ARGV[0], '');
    writer text := accounts_dep.session_app_role();
BEGIN
    IF TG_OP = 'INSERT' THEN
        INSERT INTO accounts_dep.change_log
               (table_name, row_id, action, worker_id, new_values, app_role)
        SELECT TG_TABLE_NAME, (j ->> 'id')::numeric, 'insert',
               (j ->> worker_column)::numeric, jsonb_strip_nulls(j), writer
          FROM new_rows n, LATERAL to_jsonb(n) j;
    ELSIF TG_OP = 'DELETE' THEN
        INSERT INTO accounts_dep.change_log
               (table_name, row_id, action, worker_id, old_values, app_role)
        SELECT TG_TABLE_NAME, (j ->> 'id')::numeric, 'delete',
               (j ->> worker_column)::numeric, jsonb_strip_nulls(j), writer
          FROM old_rows o, LATERAL to_jsonb(o) j;
    ELSE
        INSERT INTO accounts_dep.change_log
               (table_name, row_id, action, worker_id, old_values, new_values, app_role)
        SELECT TG_TABLE_NAME, coalesce(nj ->> 'id', oj ->> 'id')::numeric, 'update',
               coalesce(nj ->> worker_column, oj ->> worker_column)::numeric,
               d.old_values, d.new_values, writer
          FROM new_rows n FULL JOIN old_rows o ON n.id = o.id
          CROSS JOIN LATERAL (SELECT to_jsonb(n) AS nj, to_jsonb(o) AS oj) j
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

-- The stamp of every history row. A row written by the history's owner from
-- inside another write (our own history functions run as the owner) keeps
-- the role it names: the owner may write the history as it likes anyway, so
-- nothing is trusted that was not already. Every other row is stamped as
-- before. Not run as the owner, so that it sees who inserts; every name is
-- written out in full, so no object of the caller's can stand in.
CREATE OR REPLACE FUNCTION accounts_dep.change_log_written_by_server() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF pg_catalog.pg_trigger_depth() OPERATOR(pg_catalog.<) 2
       AND NOT (NEW.table_name OPERATOR(pg_catalog.=) 'person'
                AND NEW.action OPERATOR(pg_catalog.=) ANY (ARRAY['insert', 'update', 'delete'])) THEN
        RAISE EXCEPTION 'Историю изменений пишет только сама база данных.';
    END IF;
    NEW.changed_at := pg_catalog.now();
    NEW.db_user := session_user;
    IF NEW.app_role IS NULL OR pg_catalog.pg_trigger_depth() OPERATOR(pg_catalog.<) 2
       OR current_user OPERATOR(pg_catalog.<>) TG_ARGV[0] THEN
        NEW.app_role := accounts_dep.session_app_role();
    END IF;
    NEW.workstation := coalesce(nullif(pg_catalog.current_setting('tabel.workstation', true), ''),
                                pg_catalog.host(pg_catalog.inet_client_addr()));
    RETURN NEW;
END $$;

-- The owner's name goes with the trigger; should the history change hands,
-- its rows are stamped one by one again, as before, until the next upgrade.
DO $$
BEGIN
    DROP TRIGGER IF EXISTS change_log_written_by_server ON accounts_dep.change_log;
    EXECUTE format('CREATE TRIGGER change_log_written_by_server BEFORE INSERT '
                   'ON accounts_dep.change_log FOR EACH ROW '
                   'EXECUTE FUNCTION accounts_dep.change_log_written_by_server(%L)',
                   (SELECT pg_catalog.pg_get_userbyid(c.relowner) FROM pg_catalog.pg_class c
                     WHERE c.oid = 'accounts_dep.change_log'::regclass));
END $$;
