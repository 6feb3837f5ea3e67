-- kind: addition
-- Norm prices with the date they hold from. A plant changes its rates from
-- a date, often decided after that date, and foremen enter last week's work
-- late: a record is priced by the rate that held on its own date, not on the
-- day it is typed in.
--
-- accounts_dep.norm.price keeps meaning "the price holding now" for every
-- reader that knows nothing of dates (other applications, older builds): it
-- follows every write of a price here. A price dated in the future takes
-- over in our program on its date, since the program reads prices through
-- norm_price_on(); norm.price follows it at the next write of any price
-- (accounts_dep.norm_prices_catch_up), not at midnight by itself.
--
-- A norm's first price holds from the beginning ('-infinity'): before the
-- norm had a price nothing could be priced by it, so nothing paid changes.

CREATE TABLE IF NOT EXISTS accounts_dep.norm_price (
    id         serial PRIMARY KEY,
    norm_id    integer NOT NULL,
    valid_from date NOT NULL,
    -- Null: the norm has no price from this date.
    price      double precision CHECK (price >= 0),
    -- When this price became known. A record entered before it was priced
    -- without it; re-pricing reads a record's factors against what was known.
    set_at     timestamptz NOT NULL DEFAULT now(),
    UNIQUE (norm_id, valid_from)
);

-- The price of one norm on a day; null when none holds then.
CREATE OR REPLACE FUNCTION accounts_dep.norm_price_on(p_norm integer, p_day date)
RETURNS double precision LANGUAGE sql STABLE AS $$
    SELECT p.price FROM accounts_dep.norm_price p
     WHERE p.norm_id = p_norm AND p.valid_from <= p_day
     ORDER BY p.valid_from DESC LIMIT 1
$$;

-- An operation's base price on a day: the lowest price of its norms then.
CREATE OR REPLACE FUNCTION accounts_dep.oper_price_on(p_oper integer, p_day date)
RETURNS double precision LANGUAGE sql STABLE AS $$
    SELECT min(accounts_dep.norm_price_on(n.id, p_day)) FROM accounts_dep.norm n
     WHERE n.o_id = p_oper
$$;

-- Brings norm.price to the price holding today, for the norms named (all
-- when null), wherever a dated price has come due since the last write;
-- answers how many norms it changed.
CREATE OR REPLACE FUNCTION accounts_dep.norm_prices_catch_up(p_norms integer[] DEFAULT NULL)
RETURNS integer LANGUAGE plpgsql AS $$
DECLARE
    changed integer;
BEGIN
    UPDATE accounts_dep.norm n SET price = accounts_dep.norm_price_on(n.id, current_date)
     WHERE (p_norms IS NULL OR n.id = ANY (p_norms))
       AND EXISTS (SELECT 1 FROM accounts_dep.norm_price p WHERE p.norm_id = n.id)
       AND n.price IS DISTINCT FROM accounts_dep.norm_price_on(n.id, current_date);
    GET DIAGNOSTICS changed = ROW_COUNT;
    RETURN changed;
END $$;

-- A price written here becomes norm.price when it is the one holding today.
CREATE OR REPLACE FUNCTION accounts_dep.norm_price_to_norm() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'DELETE' THEN
        PERFORM accounts_dep.norm_prices_catch_up(ARRAY(SELECT DISTINCT norm_id FROM old_rows));
    ELSE
        PERFORM accounts_dep.norm_prices_catch_up(ARRAY(SELECT DISTINCT norm_id FROM new_rows));
    END IF;
    RETURN NULL;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.norm_price_stamp() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.price IS DISTINCT FROM OLD.price OR NEW.valid_from IS DISTINCT FROM OLD.valid_from THEN
        NEW.set_at := now();
    END IF;
    RETURN NEW;
END $$;

-- A price written straight into norm.price (the norms grid, another
-- application, the import) holds from today, or from the beginning when it
-- is the norm's first.
CREATE OR REPLACE FUNCTION accounts_dep.norm_to_norm_price() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.price IS NOT DISTINCT FROM accounts_dep.norm_price_on(NEW.id, current_date) THEN
        RETURN NULL;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM accounts_dep.norm_price WHERE norm_id = NEW.id) THEN
        -- Known since always, as the seed: no record was priced without it.
        IF NEW.price IS NOT NULL THEN
            INSERT INTO accounts_dep.norm_price (norm_id, valid_from, price, set_at)
            VALUES (NEW.id, '-infinity', NEW.price, '-infinity');
        END IF;
        RETURN NULL;
    END IF;
    INSERT INTO accounts_dep.norm_price (norm_id, valid_from, price)
    VALUES (NEW.id, current_date, NEW.price)
    ON CONFLICT (norm_id, valid_from) DO UPDATE SET price = excluded.price;
    RETURN NULL;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.norm_gone() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    DELETE FROM accounts_dep.norm_price p USING old_rows o WHERE p.norm_id = o.id;
    RETURN NULL;
END $$;

-- The months whose prices change when the norms' prices from the given
-- dates are written: each from its date up to the norm's next dated price.
-- Refused when one of them is closed; the months are locked as any write of
-- theirs locks them.
CREATE OR REPLACE FUNCTION accounts_dep.refuse_price_months(p_norms integer[], p_froms date[])
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    keys integer[];
BEGIN
    WITH written AS (
        SELECT w.norm_id, w.valid_from FROM unnest(p_norms, p_froms) AS w(norm_id, valid_from)
         WHERE EXISTS (SELECT 1 FROM accounts_dep.norm n WHERE n.id = w.norm_id)),
    spans AS (
        SELECT w.valid_from AS span_from,
               coalesce((SELECT min(p.valid_from) FROM accounts_dep.norm_price p
                          WHERE p.norm_id = w.norm_id AND p.valid_from > w.valid_from),
                        'infinity'::date) AS span_to
          FROM written w)
    SELECT array_agg(DISTINCT m.k) INTO keys FROM (
        SELECT accounts_dep.month_key(s.span_from) AS k FROM spans s WHERE isfinite(s.span_from)
        UNION
        SELECT cm.year * 100 + cm.month FROM spans s JOIN accounts_dep.closed_month cm
            ON make_date(cm.year, cm.month, 1) < s.span_to
           AND (make_date(cm.year, cm.month, 1) + interval '1 month')::date > s.span_from) m;
    PERFORM accounts_dep.refuse_closed_months(keys);
END $$;

-- A norm's first price and the prices deleted with their norm are let
-- through: nothing of a closed month was priced by a norm that had no price
-- yet, and a deleted norm prices nothing any more (refuse_price_months skips
-- it).
CREATE OR REPLACE FUNCTION accounts_dep.norm_price_closed_check() RETURNS trigger
LANGUAGE plpgsql AS $$
DECLARE
    norms integer[];
    froms date[];
BEGIN
    IF TG_OP = 'INSERT' THEN
        SELECT array_agg(n.norm_id), array_agg(n.valid_from) INTO norms, froms FROM new_rows n
         WHERE EXISTS (SELECT 1 FROM accounts_dep.norm_price p
                        WHERE p.norm_id = n.norm_id
                          AND (p.norm_id, p.valid_from) NOT IN
                              (SELECT x.norm_id, x.valid_from FROM new_rows x));
    ELSIF TG_OP = 'UPDATE' THEN
        SELECT array_agg(w.norm_id), array_agg(w.valid_from) INTO norms, froms
          FROM (SELECT n.norm_id, n.valid_from FROM new_rows n
                UNION SELECT o.norm_id, o.valid_from FROM old_rows o) w;
    ELSE
        SELECT array_agg(o.norm_id), array_agg(o.valid_from) INTO norms, froms FROM old_rows o;
    END IF;
    IF norms IS NOT NULL THEN
        PERFORM accounts_dep.refuse_price_months(norms, froms);
    END IF;
    RETURN NULL;
END $$;

DROP TRIGGER IF EXISTS norm_price_stamp ON accounts_dep.norm_price;
CREATE TRIGGER norm_price_stamp BEFORE UPDATE ON accounts_dep.norm_price
    FOR EACH ROW EXECUTE FUNCTION accounts_dep.norm_price_stamp();

-- Seeds every norm's history with the price it holds now, from the
-- beginning, known since always: records already paid were paid by it.
INSERT INTO accounts_dep.norm_price (norm_id, valid_from, price, set_at)
SELECT n.id, '-infinity', n.price, '-infinity' FROM accounts_dep.norm n
 WHERE n.price IS NOT NULL
ON CONFLICT (norm_id, valid_from) DO NOTHING;

SELECT accounts_dep.guard_closed_months('norm_price', 'norm_price_closed_check');
SELECT accounts_dep.log_table_changes('norm_price', '');

DROP TRIGGER IF EXISTS norm_price_to_norm_insert ON accounts_dep.norm_price;
CREATE TRIGGER norm_price_to_norm_insert AFTER INSERT ON accounts_dep.norm_price
    REFERENCING NEW TABLE AS new_rows FOR EACH STATEMENT
    EXECUTE FUNCTION accounts_dep.norm_price_to_norm();
DROP TRIGGER IF EXISTS norm_price_to_norm_update ON accounts_dep.norm_price;
CREATE TRIGGER norm_price_to_norm_update AFTER UPDATE ON accounts_dep.norm_price
    REFERENCING NEW TABLE AS new_rows FOR EACH STATEMENT
    EXECUTE FUNCTION accounts_dep.norm_price_to_norm();
DROP TRIGGER IF EXISTS norm_price_to_norm_delete ON accounts_dep.norm_price;
CREATE TRIGGER norm_price_to_norm_delete AFTER DELETE ON accounts_dep.norm_price
    REFERENCING OLD TABLE AS old_rows FOR EACH STATEMENT
    EXECUTE FUNCTION accounts_dep.norm_price_to_norm();
DROP TRIGGER IF EXISTS norm_to_norm_price ON accounts_dep.norm;
CREATE TRIGGER norm_to_norm_price AFTER INSERT OR UPDATE OF price ON accounts_dep.norm
    FOR EACH ROW EXECUTE FUNCTION accounts_dep.norm_to_norm_price();
DROP TRIGGER IF EXISTS norm_gone ON accounts_dep.norm;
CREATE TRIGGER norm_gone AFTER DELETE ON accounts_dep.norm
    REFERENCING OLD TABLE AS old_rows FOR EACH STATEMENT
    EXECUTE FUNCTION accounts_dep.norm_gone();

-- The guard runs as its owner, as the other closed-month guards do: a role
-- that may write prices but not read what the guard reads is still checked.
ALTER FUNCTION accounts_dep.refuse_price_months(integer[], date[])
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
ALTER FUNCTION accounts_dep.norm_price_closed_check()
    SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
