-- kind: addition
-- Closes the ways past the closed months and the change history that plain
-- SQL still had.
--
-- TRUNCATE passes row triggers by, so each table it could empty gets a
-- statement trigger of its own. The history is written only by the
-- database, with the time and the user the server gives; rows older than a
-- year may be pruned (accounts_dep.prune_change_log), and the pruning is
-- itself a history row.

-- Emptying closed_month would reopen every month at once, with no reason
-- asked and nothing written down.
CREATE OR REPLACE FUNCTION accounts_dep.closed_month_truncate_guard() RETURNS trigger
LANGUAGE plpgsql AS $$
DECLARE
    closed text;
BEGIN
    SELECT string_agg(lpad(c.month::text, 2, '0') || '.' || c.year, ', '
                      ORDER BY c.year, c.month) INTO closed
      FROM accounts_dep.closed_month c;
    IF closed IS NOT NULL THEN
        RAISE EXCEPTION 'Закрыты месяцы %: их открывают по одному с указанием причины, '
                        'очистка таблицы закрытых месяцев запрещена.', closed;
    END IF;
    RETURN NULL;
END $$;

DROP TRIGGER IF EXISTS closed_month_truncate_guard ON accounts_dep.closed_month;
CREATE TRIGGER closed_month_truncate_guard BEFORE TRUNCATE ON accounts_dep.closed_month
    FOR EACH STATEMENT EXECUTE FUNCTION accounts_dep.closed_month_truncate_guard();

-- A pruning is a history row of its own.
ALTER TABLE accounts_dep.change_log DROP CONSTRAINT IF EXISTS change_log_action_check;
ALTER TABLE accounts_dep.change_log ADD CONSTRAINT change_log_action_check
    CHECK (action IN ('insert', 'update', 'delete', 'close', 'reopen', 'prune'));

-- History rows come from our triggers (a trigger's insert runs one level
-- deeper than the statement it records), and the workers' rows from
-- log_worker_change, which the program calls because the people registry
-- is another application's table and gets no triggers of ours. Whoever
-- writes, the time and the user are the server's, and the role and the
-- workstation are the session's own settings, as the columns' defaults take
-- them: a row cannot be back-dated or put under another name.
CREATE OR REPLACE FUNCTION accounts_dep.change_log_written_by_server() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF pg_trigger_depth() < 2
       AND NOT (NEW.table_name = 'person' AND NEW.action IN ('insert', 'update', 'delete')) THEN
        RAISE EXCEPTION 'Историю изменений пишет только сама база данных.';
    END IF;
    NEW.changed_at := now();
    NEW.db_user := session_user;
    NEW.app_role := coalesce(nullif(current_setting('tabel.role', true), ''), 'другое приложение');
    NEW.workstation := coalesce(nullif(current_setting('tabel.workstation', true), ''),
                                host(inet_client_addr()));
    RETURN NEW;
END $$;

DROP TRIGGER IF EXISTS change_log_written_by_server ON accounts_dep.change_log;
CREATE TRIGGER change_log_written_by_server BEFORE INSERT ON accounts_dep.change_log
    FOR EACH ROW EXECUTE FUNCTION accounts_dep.change_log_written_by_server();

-- The history is kept for a year at least.
CREATE OR REPLACE FUNCTION accounts_dep.change_log_keep_until() RETURNS timestamptz
LANGUAGE sql STABLE AS $$
    SELECT now() - interval '1 year'
$$;

-- A deletion from the history prunes it: every deleted row must be older
-- than a year, and the pruning is written down (who, how many rows, the
-- oldest and the newest of them, and the date named to prune_change_log).
CREATE OR REPLACE FUNCTION accounts_dep.change_log_pruned() RETURNS trigger
LANGUAGE plpgsql AS $$
DECLARE
    pruned bigint;
    oldest timestamptz;
    newest timestamptz;
    pruned_before text := nullif(current_setting('tabel.prune_before', true), '');
BEGIN
    SELECT count(*), min(o.changed_at), max(o.changed_at) INTO pruned, oldest, newest
      FROM old_rows o;
    IF pruned = 0 THEN
        RETURN NULL;
    END IF;
    IF newest >= accounts_dep.change_log_keep_until() THEN
        RAISE EXCEPTION 'История изменений хранится не меньше года: удалять можно только '
                        'строки, записанные до %.',
            to_char(accounts_dep.change_log_keep_until(), 'DD.MM.YYYY');
    END IF;
    INSERT INTO accounts_dep.change_log (table_name, action, old_values)
    VALUES ('change_log', 'prune',
            jsonb_strip_nulls(jsonb_build_object(
                'rows', pruned, 'before', pruned_before,
                'oldest', to_char(oldest, 'YYYY-MM-DD"T"HH24:MI:SS'),
                'newest', to_char(newest, 'YYYY-MM-DD"T"HH24:MI:SS'))));
    RETURN NULL;
END $$;

DROP TRIGGER IF EXISTS change_log_pruned ON accounts_dep.change_log;
CREATE TRIGGER change_log_pruned AFTER DELETE ON accounts_dep.change_log
    REFERENCING OLD TABLE AS old_rows FOR EACH STATEMENT
    EXECUTE FUNCTION accounts_dep.change_log_pruned();

CREATE OR REPLACE FUNCTION accounts_dep.change_log_truncate_guard() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    RAISE EXCEPTION 'Историю изменений не очищают: строки старше года удаляет команда '
                    'tabel-batch prune-history.';
END $$;

DROP TRIGGER IF EXISTS change_log_truncate_guard ON accounts_dep.change_log;
CREATE TRIGGER change_log_truncate_guard BEFORE TRUNCATE ON accounts_dep.change_log
    FOR EACH STATEMENT EXECUTE FUNCTION accounts_dep.change_log_truncate_guard();

-- Removes the history written before p_before, which must be a year ago or
-- earlier; answers how many rows went.
CREATE OR REPLACE FUNCTION accounts_dep.prune_change_log(p_before date) RETURNS bigint
LANGUAGE plpgsql AS $$
DECLARE
    pruned bigint;
BEGIN
    IF p_before IS NULL OR p_before > accounts_dep.change_log_keep_until()::date THEN
        RAISE EXCEPTION 'История изменений хранится не меньше года: удалять можно только '
                        'строки, записанные до %.',
            to_char(accounts_dep.change_log_keep_until(), 'DD.MM.YYYY');
    END IF;
    PERFORM set_config('tabel.prune_before', p_before::text, true);
    DELETE FROM accounts_dep.change_log WHERE changed_at < p_before;
    GET DIAGNOSTICS pruned = ROW_COUNT;
    PERFORM set_config('tabel.prune_before', '', true);
    RETURN pruned;
END $$;
