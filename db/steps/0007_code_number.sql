-- kind: addition
-- The number a people registry code reads as, for the statements that find
-- workers by code and for an index a plant's administrator may put on the
-- registry:
--
--   CREATE INDEX person_code_number_idx
--       ON cmn_contractor.person (accounts_dep.code_number(s_code));
--
-- The registry is another application's table, so the program never creates
-- that index itself; without it the statements read the same rows, only by
-- passing over the whole registry.
--
-- The code without the blanks around it (those the server's integer input
-- skips, and the no-break space a code pasted from a document brings along)
-- and without its leading zeros, written as w_id::text writes a worker's
-- number; a code that is not a number stays a text no number is written as,
-- and null stays null. Only a code that starts with a blank or a zero or
-- ends with a blank is trimmed: trimming every code costs twice as much as
-- comparing it.
--
-- Plain SQL, not strict and with no settings of its own, so the server
-- inlines it: a statement's condition then costs what the expression costs,
-- and the server inlines the index's expression the same way, so the two
-- still match. An index built on it keeps the values of this body: the body
-- must never change in place. A different rule is a function of another
-- name.
CREATE OR REPLACE FUNCTION accounts_dep.code_number(code text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
SELECT CASE
    WHEN ascii(code) IN (9, 10, 11, 12, 13, 32, 160, 48)
      OR ascii(right(code, 1)) IN (9, 10, 11, 12, 13, 32, 160)
    THEN ltrim(btrim(code, chr(9) || chr(10) || chr(11) || chr(12) || chr(13) || ' ' || chr(160)),
               '0')
    ELSE code
END
$$;

-- The registry's index on code_number(s_code), whatever the administrator
-- named it, or null: found by what it indexes (the first key is our
-- function of the code, over every row, in a b-tree the server may use). The
-- statements that find workers by code ask it at every run to choose
-- between reading the index and passing over the registry, so an index
-- created or dropped while the program runs counts at once. Restricted to
-- the statement's own process, the choice is made above the pass's helper
-- processes, and a pass not chosen never starts them.
CREATE OR REPLACE FUNCTION accounts_dep.code_index() RETURNS text
LANGUAGE sql STABLE PARALLEL RESTRICTED AS $$
SELECT c.relname::text
  FROM pg_catalog.pg_index i
  JOIN pg_catalog.pg_class c ON c.oid = i.indexrelid
  JOIN pg_catalog.pg_am am ON am.oid = c.relam
 WHERE i.indrelid = to_regclass('cmn_contractor.person')
   AND i.indisvalid AND i.indkey[0] = 0 AND i.indpred IS NULL AND am.amname = 'btree'
   AND i.indexprs::text LIKE '(_FUNCEXPR :funcid '
       || 'accounts_dep.code_number(text)'::regprocedure::oid || ' %'
   AND pg_catalog.pg_get_indexdef(i.indexrelid, 1, false)
       ~ '^(accounts_dep\.)?code_number\(\(?s_code\)?(::text)?\)$'
 ORDER BY 1
 LIMIT 1
$$;
