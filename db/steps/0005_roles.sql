-- kind: addition
-- Lets the database itself decide who may write. A plant may connect each
-- person as a login of their own, a member of one of the group roles
-- tabel_admin, tabel_office, tabel_foreman and tabel_store, which
-- `tabel-batch setup-roles` creates and grants (roles belong to the whole
-- server, so they are not made here). The checks of the closed months and
-- the change history must then hold for a login that may not touch
-- closed_month or change_log itself: they run with the rights of the
-- schema's owner, with a search path nobody can put objects in front of.
-- The built-in account owns the schema, so nothing changes for it.

-- The role a session's person has by membership, in the history's words;
-- null for a login of no group. A superuser passes every membership test,
-- and a group's creator may hold it without its rights: only a membership
-- whose rights the login really uses counts.
CREATE OR REPLACE FUNCTION accounts_dep.member_role() RETURNS text
LANGUAGE sql STABLE SET search_path = pg_catalog, pg_temp AS $$
    SELECT CASE g.rolname WHEN 'tabel_admin' THEN 'администратор'
                          WHEN 'tabel_office' THEN 'контора'
                          WHEN 'tabel_foreman' THEN 'мастер'
                          ELSE 'склад' END
      FROM pg_roles u, pg_roles g
     WHERE u.rolname = session_user AND NOT u.rolsuper
       AND g.rolname IN ('tabel_admin', 'tabel_office', 'tabel_foreman', 'tabel_store')
       AND pg_has_role(u.oid, g.oid, 'USAGE')
     ORDER BY array_position(ARRAY['tabel_admin', 'tabel_office', 'tabel_foreman',
                                   'tabel_store']::name[], g.rolname)
     LIMIT 1
$$;

-- Who writes, as the history and the closed months name it: the role by
-- membership when the login has one, otherwise what the program says of
-- itself (one shared login), otherwise another application.
CREATE OR REPLACE FUNCTION accounts_dep.session_app_role() RETURNS text
LANGUAGE sql STABLE SET search_path = pg_catalog, pg_temp AS $$
    SELECT coalesce(accounts_dep.member_role(),
                    nullif(current_setting('tabel.role', true), ''), 'другое приложение')
$$;

ALTER TABLE accounts_dep.change_log ALTER COLUMN app_role SET DEFAULT accounts_dep.session_app_role();
ALTER TABLE accounts_dep.closed_month ALTER COLUMN closed_by SET DEFAULT accounts_dep.session_app_role();

CREATE OR REPLACE FUNCTION accounts_dep.change_log_written_by_server() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp AS $$
BEGIN
    IF pg_trigger_depth() < 2
       AND NOT (NEW.table_name = 'person' AND NEW.action IN ('insert', 'update', 'delete')) THEN
        RAISE EXCEPTION 'Историю изменений пишет только сама база данных.';
    END IF;
    NEW.changed_at := now();
    NEW.db_user := session_user;
    NEW.app_role := accounts_dep.session_app_role();
    NEW.workstation := coalesce(nullif(current_setting('tabel.workstation', true), ''),
                                host(inet_client_addr()));
    RETURN NEW;
END $$;

-- Closing and reopening as before; a close is also put under the name of
-- who really closed, whatever the statement said.
CREATE OR REPLACE FUNCTION accounts_dep.closed_month_guard() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp AS $$
DECLARE
    reason text;
BEGIN
    IF TG_OP = 'UPDATE' THEN
        RAISE EXCEPTION 'Закрытый месяц не изменяют: его открывают с указанием причины и закрывают снова.';
    END IF;
    IF TG_OP = 'INSERT' THEN
        NEW.closed_at := now();
        NEW.closed_by := accounts_dep.session_app_role();
        NEW.db_user := session_user;
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

-- The other guards and the history's writers keep their bodies.
ALTER FUNCTION accounts_dep.refuse_closed_months(integer[])
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.smena_closed_check()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.fatigue_closed_check()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.h_tabel_closed_check()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.brigade_member_closed_check()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.refuse_truncate_when_closed()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.closed_month_truncate_guard()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.log_changes()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.change_log_frozen()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.change_log_pruned()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.change_log_truncate_guard()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
-- The workers' history is written by the program, for a login that may not
-- insert into the history; who may call it is setup-roles' grant.
ALTER FUNCTION accounts_dep.log_worker_change(text, bigint, jsonb, jsonb)
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;

-- A save keeps the operation (or a housekeeping entry its nomenclature
-- group) from being deleted until it commits, with a key-share row lock.
-- Row locks ask for the right to update the table, which the foreman and
-- the office have no business holding on directories: the lock is taken
-- here, with the owner's rights, on these two tables only. True when the
-- row is there.
CREATE OR REPLACE FUNCTION accounts_dep.hold_for_use(p_table text, p_id bigint) RETURNS boolean
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp AS $$
BEGIN
    IF p_table = 'oper' THEN
        PERFORM 1 FROM accounts_dep.oper WHERE id = p_id FOR KEY SHARE;
    ELSIF p_table = 'item' THEN
        PERFORM 1 FROM cmn_classifier.item WHERE id = p_id FOR KEY SHARE;
    ELSE
        RAISE EXCEPTION 'hold_for_use: unknown table %', p_table;
    END IF;
    RETURN FOUND;
END $$;
