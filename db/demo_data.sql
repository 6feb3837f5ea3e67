-- Demo and benchmark data for the time-sheet client: a machine-building
-- plant with its people registry, departments, products, operations with
-- price norms, production records, housekeeping entries and time sheets.
--
-- Run as role sys on a database that holds only neighbours.sql and our
-- schema (tabel-batch … upgrade-schema):
--
--   psql -v ON_ERROR_STOP=1 -f db/neighbours.sql
--   tabel-batch DATABASE SERVER upgrade-schema
--   psql -v ON_ERROR_STOP=1 -v workers=60 -v persons=2000 -v products=40 \
--        -v months=3 -v end_date=2026-12-10 -f db/demo_data.sql
--
-- Variables (all optional):
--   workers   number of workers (registry persons the personnel stand-in
--             hrms_demo.worker lists), default 60
--   persons   size of the whole people registry, workers included, default 2000
--   products  number of products, default 40
--   months    calendar months of production records ending with the month
--             of end_date (that month only up to end_date), default 3
--   end_date  last day with records, default today
--
-- The result depends only on these values: every "random" choice is taken
-- from a hash of the row's own key (hashint8extended, the hash PostgreSQL
-- keeps stable for hash partitioning), so it depends neither on row order nor
-- on the server's random seed.  Everything is loaded in one transaction.
-- At -v workers=500 -v persons=20000 -v products=200 -v months=60 it writes
-- about a million production records.

\set QUIET on
\set ON_ERROR_STOP on

\if :{?workers}
\else
\set workers 60
\endif
\if :{?persons}
\else
\set persons 2000
\endif
\if :{?products}
\else
\set products 40
\endif
\if :{?months}
\else
\set months 3
\endif
\if :{?end_date}
\else
select current_date::text as end_date \gset
\endif

-- Temporary tables get big at benchmark size.  temp_buffers can only change
-- before the session's first temporary table; otherwise keep the current value.
do $$
begin
    perform set_config('temp_buffers', '256MB', false);
exception when others then
    null;
end $$;

begin;
-- Big sorts and hash aggregates stay in memory; compiling the expressions
-- costs more than it saves on these one-off statements.
set local work_mem = '256MB';
set local jit = off;

do $$
begin
    if exists (select 1 from cmn_contractor.person)
       or exists (select 1 from hrms_demo.worker)
       or exists (select 1 from cmn_gds_and_srv.gds_and_srv)
       or exists (select 1 from accounts_dep.oper)
       or exists (select 1 from accounts_dep.smena) then
        raise exception 'demo_data.sql must be run on an empty database';
    end if;
end $$;

-- ---------------------------------------------------------------------------
-- Helpers.  h(k, s): a 64-bit hash of key k for purpose s.  r(h, i): a number
-- in [0, 1) from the i-th 16-bit slice (i = 0..3) of such a hash, so one
-- hash gives four independent draws.  u(k, s): a finer number in [0, 1)
-- straight from a key.
create function pg_temp.h(k bigint, s bigint) returns bigint
language sql immutable strict as
$$ select hashint8extended(k, s) $$;

create function pg_temp.r(h bigint, i integer) returns double precision
language sql immutable strict as
$$ select ((h >> (16 * i)) & 65535) / 65536.0::double precision $$;

create function pg_temp.u(k bigint, s bigint) returns double precision
language sql immutable strict as
$$ select (hashint8extended(k, s) & 4294967295) / 4294967296.0::double precision $$;

create temp table prm on commit drop as
select :workers::int as workers,
       greatest(:persons::int, :workers::int) as persons,  -- workers are persons too
       :products::int as products,
       :'end_date'::date as d_end,
       (date_trunc('month', :'end_date'::date)
        - make_interval(months => :months::int - 1))::date as d_begin;

-- ---------------------------------------------------------------------------
-- Departments, staff positions, roles.
create temp table dep on commit drop as
select * from (values
    (1, '01', 'Цех №1 (механообработка)',   25, array[10, 4, 5, 1]),
    (2, '02', 'Цех №2 (сборка)',            22, array[6, 3, 5]),
    (3, '03', 'Малярный участок',           10, array[7, 8]),
    (4, '04', 'Заготовительный участок',    18, array[1, 2, 4]),
    (5, '05', 'ОТК',                         3, array[5, 9]),
    (6, '06', 'Склад готовой продукции',     6, array[9]),
    (7, '07', 'Инструментальный участок',    7, array[10, 4]),
    (8, '08', 'Ремонтно-механический цех',   9, array[3, 10, 5])
) v(id, code, caption, w, vids);

insert into cmn_department.department (id, id_branch, s_code, s_caption, s_description, id_parent)
select id, 1, code, caption, '', null from dep order by id;

insert into hrms_staffpos.staffpos (id, id_department, s_code, s_caption, d_begin, d_end, s_description)
select id, dep, lpad(id::text, 3, '0'), caption, date '2015-01-01', null, ''
from (values
    (1,  1, 'Токарь'),
    (2,  1, 'Фрезеровщик'),
    (3,  1, 'Оператор станков с ЧПУ'),
    (4,  2, 'Слесарь-сборщик'),
    (5,  2, 'Сварщик'),
    (6,  3, 'Маляр'),
    (7,  4, 'Резчик металла'),
    (8,  4, 'Оператор листогибочного пресса'),
    (9,  5, 'Контролер ОТК'),
    (10, 6, 'Кладовщик'),
    (11, 6, 'Упаковщик'),
    (12, 7, 'Слесарь-инструментальщик'),
    (13, 8, 'Слесарь-ремонтник'),
    (14, 2, 'Мастер участка'),
    (15, 1, 'Начальник цеха')
) v(id, dep, caption)
order by id;

insert into adm_role.roles (id, s_name, s_caption, d_begin, d_end, b_active)
values (1, 'admin',  'Администратор',  date '2015-01-01', null, 'true'),
       (2, 'master', 'Мастер участка', date '2015-01-01', null, 'true'),
       (3, 'normir', 'Нормировщик',    date '2015-01-01', null, 'true'),
       (4, 'tabel',  'Табельщик',      date '2015-01-01', null, 'true'),
       (5, 'buh',    'Бухгалтер',      date '2015-01-01', null, 'true');

-- ---------------------------------------------------------------------------
-- The people registry.  Workers are scattered among the other persons; their
-- code is their id.  Other persons carry personnel codes 1..99999.
create temp table nm on commit drop as
select array['Иванов', 'Петров', 'Смирнов', 'Кузнецов', 'Попов', 'Васильев',
             'Соколов', 'Михайлов', 'Новиков', 'Фёдоров', 'Морозов', 'Волков',
             'Алексеев', 'Лебедев', 'Семёнов', 'Егоров', 'Павлов', 'Козлов',
             'Степанов', 'Николаев', 'Орлов', 'Андреев', 'Макаров', 'Никитин',
             'Захаров', 'Зайцев', 'Соловьёв', 'Борисов', 'Яковлев', 'Григорьев',
             'Королёв', 'Ёлкин', 'Ёжиков', 'Ершов', 'Елисеев', 'Ефимов',
             'Покровский', 'Шевченко', 'Тихонов', 'Белоусов'] as sur,
       array['Александр', 'Алексей', 'Андрей', 'Антон', 'Артём', 'Борис',
             'Вадим', 'Валерий', 'Виктор', 'Владимир', 'Вячеслав', 'Геннадий',
             'Дмитрий', 'Евгений', 'Егор', 'Иван', 'Игорь', 'Илья',
             'Кирилл', 'Константин', 'Максим', 'Михаил', 'Николай', 'Олег',
             'Павел', 'Пётр', 'Роман', 'Сергей', 'Фёдор', 'Юрий'] as fm,
       array['Анна', 'Валентина', 'Вера', 'Галина', 'Дарья', 'Екатерина',
             'Елена', 'Ирина', 'Ксения', 'Лариса', 'Людмила', 'Марина',
             'Мария', 'Наталья', 'Надежда', 'Нина', 'Ольга', 'Оксана',
             'Полина', 'Светлана', 'Софья', 'Тамара', 'Татьяна', 'Юлия',
             'Яна', 'Алёна', 'Любовь', 'Зинаида', 'Алла', 'Евгения'] as ff,
       array['Александрович', 'Алексеевич', 'Андреевич', 'Анатольевич', 'Борисович',
             'Валерьевич', 'Викторович', 'Владимирович', 'Геннадьевич', 'Григорьевич',
             'Дмитриевич', 'Евгеньевич', 'Иванович', 'Игоревич', 'Константинович',
             'Михайлович', 'Николаевич', 'Олегович', 'Павлович', 'Петрович',
             'Романович', 'Сергеевич', 'Степанович', 'Юрьевич', 'Фёдорович',
             'Семёнович', 'Артёмович', 'Васильевич', 'Львович', 'Максимович'] as pat;

select nextval('cmn_contractor.person_id_seq') as pbase \gset

create temp table pp on commit drop as
with base as (
    select n, pg_temp.h(n, 101) as h
    from prm, generate_series(1, prm.persons) n
), flag as (
    select n, h, row_number() over (order by pg_temp.h(n, 100), n) <= (select workers from prm) as w
    from base
)
select n, :pbase::bigint + n - 1 as id, w, h, pg_temp.h(n, 102) as h2,
       case when w then row_number() over (partition by w order by n) - 1 end as wi
from flag;

-- Name parts: workers get distinct name combinations (a step through all
-- surname x name x patronymic combinations), the rest are drawn freely.
create temp table pn on commit drop as
select p.*, s.female,
       nm.sur[1 + s.c % cardinality(nm.sur)] as sur0,
       (case when s.female then nm.ff else nm.fm end)
           [1 + (s.c / cardinality(nm.sur)) % cardinality(nm.fm)] as first,
       nm.pat[1 + (s.c / (cardinality(nm.sur) * cardinality(nm.fm))) % cardinality(nm.pat)] as pat0
from pp p
cross join nm
cross join lateral (
    select pg_temp.u(p.n, 103) < case when p.w then 0.18 else 0.5 end as female,
           case when p.w
                then (p.wi * 7919 + 11) % (cardinality(nm.sur) * cardinality(nm.fm) * cardinality(nm.pat))
                else floor(pg_temp.r(p.h, 1) * cardinality(nm.sur))::int
                     + cardinality(nm.sur) * (floor(pg_temp.r(p.h, 2) * cardinality(nm.fm))::int
                     + cardinality(nm.fm) * floor(pg_temp.r(p.h, 3) * cardinality(nm.pat))::int)
           end::int as c
) s;

-- Workers: department, the operation types they mostly do, usual shift,
-- hiring/leaving inside the period, vacation start.
create temp table wk on commit drop as
select p.id::int as wid, p.n, d.id as dept, d.caption as dept_caption,
       d.vids[1 + floor(pg_temp.r(x.h, 1) * cardinality(d.vids))::int] as vid1,
       d.vids[1 + floor(pg_temp.r(x.h, 2) * cardinality(d.vids))::int] as vid2,
       case when pg_temp.r(x.h, 3) < 0.6 then 1 when pg_temp.r(x.h, 3) < 0.9 then 2 else 3 end as ush,
       case when pg_temp.r(x.h1, 0) < 0.12
            then prm.d_begin + floor(pg_temp.r(x.h1, 1) * 0.8 * (prm.d_end - prm.d_begin))::int
            else prm.d_begin end as hire,
       case when pg_temp.r(x.h1, 0) > 0.96
            then prm.d_begin + floor((0.3 + 0.7 * pg_temp.r(x.h1, 1)) * (prm.d_end - prm.d_begin))::int + 1
            else prm.d_end + 1 end as fire,
       1 + floor(pg_temp.r(x.h1, 2) * 340)::int as vac,
       floor(pg_temp.r(x.h1, 3) * 1000)::int as oseed,
       1 + floor(pg_temp.r(x.h2, 0) * 7)::int as ostep,
       round((230 + pg_temp.r(x.h2, 1) * 170)::numeric, 2) as rate
from pn p
cross join prm
cross join lateral (
    select pg_temp.h(p.id::bigint, 201) as h, pg_temp.h(p.id::bigint, 202) as h1,
           pg_temp.h(p.id::bigint, 203) as h2
    offset 0
) x
join (
    select dep.*,
           (sum(w) over (order by id) - w)::float8 / sum(w) over () as lo,
           sum(w) over (order by id)::float8 / sum(w) over () as hi
    from dep
) d on pg_temp.r(x.h, 0) >= d.lo and pg_temp.r(x.h, 0) < d.hi
where p.w;

insert into cmn_contractor.person (id, s_code, s_caption)
select p.id,
       case when p.w then p.id::text
            when pg_temp.r(p.h2, 0) < 0.03 then null
            else ((p.n * 7919 + 12345) % 99999 + 1)::text end,
       case when p.female then
                case when p.sur0 ~ '(ий|ый|ой)$' then regexp_replace(p.sur0, '..$', 'ая')
                     when p.sur0 ~ '(ов|ев|ёв|ин|ын)$' then p.sur0 || 'а'
                     else p.sur0 end
            else p.sur0 end
       || ' ' || p.first || ' '
       || case when p.female then regexp_replace(p.pat0, 'ич$', 'на') else p.pat0 end
from pn p
order by p.id;

-- The personnel application's record of the workers and their departments.
insert into hrms_demo.worker (person_id, dept)
select wid, dept_caption from wk order by wid;

-- ---------------------------------------------------------------------------
-- Classifier: one root for own products, nomenclature groups below it.
create temp table grp on commit drop as
select * from (values
    (2, '02', 'Металлоконструкции',   20, 3.0, 25.0, 0),
    (3, '03', 'Стеллажи',             22, 8.0, 25.0, 0),
    (4, '04', 'Шкафы металлические',  15, 10.0, 25.0, 0),
    (5, '05', 'Кронштейны',           18, 0.5, 4.0, 0),
    (6, '06', 'Заготовки листовые',   12, 0.2, 12.0, 0),
    (7, '07', 'Крепеж',               13, 0.2, 1.5, 0),
    (8, '08', 'Ограждения сетчатые',   0, 1.0, 10.0, 1)
) v(id, code, caption, w, mlo, mhi, excl);

insert into cmn_classifier.item (id, id_classifier, id_level, id_parent, s_code, s_caption,
                                 s_description, d_excluded_date, b_excluded)
values (1, 1, 1, null, '1', 'Продукция собственного производства', '', null, 0),
       (9, 1, 1, null, '2', 'Материалы и комплектующие', '', null, 0);
insert into cmn_classifier.item (id, id_classifier, id_level, id_parent, s_code, s_caption,
                                 s_description, d_excluded_date, b_excluded)
select id, 1, 2, 1, '1.' || code, caption, '',
       case when excl = 1 then date '2021-12-31' end, excl
from grp order by id;

-- ---------------------------------------------------------------------------
-- Products.  A mark that comes out twice gets an "исп.N" suffix.
create temp table prod on commit drop as
with b as (
    select n, pg_temp.h(n, 301) as h from prm, generate_series(1, prm.products) n
), g as (
    select b.*, g.id as gid, g.mlo, g.mhi,
           pg_temp.r(h, 1) as r1, pg_temp.r(h, 2) as r2, pg_temp.r(h, 3) as r3
    from b
    join (
        select grp.*,
               (sum(w) over (order by id) - w)::float8 / sum(w) over () as lo,
               sum(w) over (order by id)::float8 / sum(w) over () as hi
        from grp where excl = 0
    ) g on pg_temp.r(b.h, 0) >= g.lo and pg_temp.r(b.h, 0) < g.hi
), m as (
    select g.*,
           case gid
           when 2 then case when r1 < 0.4 then 'ФМ-' || (6 + 2 * floor(r2 * 10)::int) || ' (ферма)'
                            when r1 < 0.7 then 'ОП-' || (100 + floor(r2 * 400)::int)
                            else 'ЛМ-' || (1 + floor(r2 * 40)::int) || ' (лестница)' end
           when 3 then 'СТ-' || (800 + 100 * floor(r2 * 13)::int) || 'х'
                       || (array[300, 400, 500, 600, 800])[1 + floor(r3 * 5)::int]
           when 4 then case when r1 < 0.5 then 'ШМ-' || lpad((1 + floor(r2 * 30)::int)::text, 2, '0') || ' (шкаф)'
                            when r1 < 0.8 then 'ШР-' || (1 + floor(r2 * 6)::int) || '/'
                                               || (300 + 100 * floor(r3 * 3)::int) || ' (шкаф раздевальный)'
                            else 'ША-' || (10 + floor(r2 * 50)::int) || ' (шкаф архивный)' end
           when 5 then case when r1 < 0.7 then 'КР-' || (10 + floor(r2 * 90)::int)
                            else 'КРУ-' || (10 + floor(r2 * 90)::int) || ' (угловой)' end
           when 6 then 'ЗЛ-' || (array['1', '1,5', '2', '3', '4', '5'])[1 + floor(r2 * 6)::int] || 'х'
                       || (array[500, 750, 1000, 1250, 1500])[1 + floor(r3 * 5)::int]
           else case when r1 < 0.5 then 'Скоба СК-' || (5 + floor(r2 * 45)::int)
                     when r1 < 0.8 then 'Уголок УК-' || (20 + 5 * floor(r2 * 12)::int)
                     else 'Пластина ПК-' || (1 + floor(r2 * 30)::int) end
           end as mark0
    from g
)
select n as id, gid, h,
       mark0 || case when row_number() over (partition by mark0 order by n) > 1
                     then ' исп.' || row_number() over (partition by mark0 order by n) else '' end as mark,
       round((mlo + pg_temp.u(n, 302) * (mhi - mlo))::numeric, 3) as massa
from m;

insert into cmn_gds_and_srv.gds_and_srv (id, s_caption, s_description, id_msm_bs, massa, id_class_item)
select id, mark, '', 6, massa, gid from prod order by id;

-- ---------------------------------------------------------------------------
-- Operation types; speed = how many times faster than the product's base
-- output per shift.
create temp table vo on commit drop as
select * from (values
    (1,  'Резка',                        1.5),
    (2,  'Гибка',                        1.5),
    (3,  'Сварка',                       0.6),
    (4,  'Сверловка',                    1.5),
    (5,  'Зачистка',                     1.2),
    (6,  'Сборка',                       0.7),
    (7,  'Покраска (порошковая краска)', 1.0),
    (8,  'Грунтовка',                    1.2),
    (9,  'Упаковка',                     2.0),
    (10, 'Токарная обработка',           0.8)
) v(id, vid, speed);

insert into accounts_dep.vid_oper (id, vid) select id, vid from vo order by id;

-- Which operations each group's products go through: (vid, naimen, weight);
-- naimen 1 = done on the blank, 0 = on the finished product.
create temp table cand on commit drop as
select * from (values
    (2, 1, 1, 10), (2, 2, 1, 5), (2, 3, 0, 10), (2, 4, 1, 5), (2, 5, 0, 8),
    (2, 6, 0, 4), (2, 7, 0, 7), (2, 8, 0, 6), (2, 9, 0, 3), (2, 10, 1, 2),
    (3, 1, 1, 10), (3, 2, 1, 9), (3, 4, 1, 6), (3, 3, 0, 5), (3, 5, 0, 4),
    (3, 6, 0, 6), (3, 7, 0, 9), (3, 9, 0, 6), (3, 8, 0, 2),
    (4, 1, 1, 10), (4, 2, 1, 9), (4, 3, 0, 7), (4, 4, 1, 4), (4, 5, 0, 5),
    (4, 6, 0, 8), (4, 7, 0, 9), (4, 9, 0, 5), (4, 4, 0, 2),
    (5, 1, 1, 10), (5, 2, 1, 8), (5, 4, 1, 7), (5, 3, 0, 5), (5, 5, 0, 6),
    (5, 7, 0, 6), (5, 8, 0, 3), (5, 9, 0, 3),
    (6, 1, 1, 10), (6, 2, 1, 6), (6, 4, 1, 7), (6, 5, 1, 6), (6, 9, 1, 3),
    (6, 10, 1, 2), (6, 8, 1, 2),
    (7, 10, 1, 10), (7, 4, 1, 8), (7, 1, 1, 6), (7, 5, 0, 5), (7, 9, 0, 8),
    (7, 10, 0, 3), (7, 2, 1, 2), (7, 8, 0, 2)
) v(gid, vid, naimen, w);

-- 3..6 operations per product, weighted sampling without repetition.
create temp table op on commit drop as
with c as (
    select p.id as i_id, p.massa, c.vid, c.naimen,
           row_number() over (partition by p.id
                              order by ln(greatest(pg_temp.u(p.id * 64 + c.vid * 2 + c.naimen, 303), 1e-12)) / c.w desc,
                                       c.vid, c.naimen) as rk,
           3 + floor(pg_temp.u(p.id, 304) * 4)::int as k
    from prod p join cand c on c.gid = p.gid
), s as (
    select * from c where rk <= k
)
select row_number() over (order by s.i_id, s.naimen desc, s.vid)::int as id, s.i_id, s.vid, s.naimen,
       greatest(10, least(150, round(
           case when s.massa < 1 then 200 when s.massa < 3 then 100 when s.massa < 8 then 50
                when s.massa < 15 then 30 else 20 end * vo.speed / 10) * 10))::int as nbase
from s join vo on vo.id = s.vid;

insert into accounts_dep.oper (id, vid, naimen, i_id, cena_new, cena)
select id, vid, naimen, i_id, 0, null from op order by id;

-- Price steps: 1..3 per operation (none for about 3%), norma 1x/2x/3x the
-- base output, a lower price for a higher norma.
create temp table nr on commit drop as
with o as (
    select op.*, pg_temp.h(op.id, 401) as h from op
), s as (
    select o.id as o_id, o.nbase, st,
           case when pg_temp.r(o.h, 1) < 0.3 then 3 else 2 end as dec,
           least(120.0, greatest(0.5, 2400.0 / o.nbase * (0.85 + 0.3 * pg_temp.r(o.h, 2)))) as p1
    from o
    cross join lateral generate_series(1, 1 + floor(pg_temp.r(o.h, 3) * 3)::int) st
    where pg_temp.r(o.h, 0) >= 0.03
)
select row_number() over (order by o_id, st)::int as id, o_id, nbase * st as norma,
       (array[0, 5, 10])[st] as prize,
       round(greatest(0.5, p1 * (1 - 0.1 * (st - 1)))::numeric, dec)::double precision as price
from s;

insert into accounts_dep.norm (id, o_id, norma, prize, price)
select id, o_id, norma, prize, price from nr order by id;

-- Work paid by the hour: one operation of each of the types 7777 and 7778
-- with its rates per hour, which the housekeeping entry dialog offers.
insert into accounts_dep.oper (id, vid, naimen, i_id, cena_new, cena)
select (select max(id) from op) + t.n, t.vid, 0, (select min(i_id) from op), 0, null
from (values (1, 7777), (2, 7778)) t(n, vid);
insert into accounts_dep.norm (id, o_id, norma, prize, price)
select (select max(id) from nr) + t.k, (select max(id) from op) + t.n, 8, 0, t.price
from (values (1, 1, 150.0), (2, 1, 180.0), (3, 2, 100.0)) t(k, n, price);

-- Operations that can be recorded, numbered within their type; type 0
-- holds them all (used when a type has no operation at all).
create temp table opv on commit drop as
with o as (
    select op.id as o_id, op.i_id, op.vid, op.nbase, min(nr.price) as minp
    from op join nr on nr.o_id = op.id
    group by op.id, op.i_id, op.vid, op.nbase
)
select vid, (row_number() over (partition by vid order by o_id) - 1)::int as k, o_id, i_id, nbase, minp from o
union all
select 0, (row_number() over (order by o_id) - 1)::int, o_id, i_id, nbase, minp from o;
create index on opv (vid, k);
create temp table vcnt on commit drop as
select vid, count(*)::int as cnt from opv group by vid;

-- ---------------------------------------------------------------------------
-- Calendar: kind 1 = working day, 2 = working Saturday, 3 = working Sunday.
create temp table dd on commit drop as
select d::date as dt, extract(isodow from d)::int as dow,
       case when to_char(d, 'MM-DD') = any (array['01-01', '01-02', '01-03', '01-04', '01-05',
                                                  '01-06', '01-07', '01-08', '02-23', '03-08',
                                                  '05-01', '05-09', '06-12', '11-04'])
            then 0
            when extract(isodow from d) <= 5 then 1
            when extract(isodow from d) = 6 and pg_temp.u(d::date - date '2000-01-01', 501) < 0.35 then 2
            when extract(isodow from d) = 7 and pg_temp.u(d::date - date '2000-01-01', 501) < 0.04 then 3
            else 0 end as kind
from prm, generate_series(prm.d_begin, prm.d_end, interval '1 day') d;

-- Compositions of a day's hours into 1..3 records (2 h at least each when
-- split).
create temp table comp on commit drop as
with c as (
    select t, 1 as n, array[t] as parts from generate_series(1, 8) t
    union all
    select t, 2, array[a, t - a] from generate_series(4, 8) t, generate_series(2, t - 2) a
    union all
    select t, 3, array[a, b, t - a - b]
    from generate_series(6, 8) t, generate_series(2, t - 4) a, generate_series(2, t - a - 2) b
)
select t, n, (row_number() over (partition by t, n order by parts) - 1)::int as v,
       count(*) over (partition by t, n)::int as cnt, parts
from c;

-- Worker-days: who came, in which shift, how many hours of piecework,
-- housekeeping hours, overtime.
create temp table wdays on commit drop as
with a as materialized (
    select w.wid, w.ush, w.vid1, w.vid2, w.oseed, w.ostep, w.rate, d.dt, d.dow, d.kind, x.h,
           pg_temp.h(w.wid * 100000::bigint + (d.dt - date '2000-01-01'), 602) as h2
    from wk w
    join dd d on d.kind > 0 and d.dt >= w.hire and d.dt < w.fire
    cross join lateral (select pg_temp.h(w.wid * 100000::bigint + (d.dt - date '2000-01-01'), 601) as h offset 0) x
    where (extract(doy from d.dt)::int - ((w.vac + extract(year from d.dt)::int * 37) % 340 + 1))
              not between 0 and 13
      and pg_temp.r(x.h, 0) < case d.kind when 1 then 0.95 when 2 then 0.35 else 0.15 end
), b as materialized (
    select a.*,
           case when a.dow >= 6 then 1
                when pg_temp.r(a.h, 1) < 0.9 then a.ush
                else 1 + (a.ush + case when pg_temp.r(a.h, 1) < 0.95 then 0 else 1 end) % 3 end as sm,
           case when a.dow >= 6 then (array[8, 8, 6, 4])[1 + floor(pg_temp.r(a.h, 3) * 4)::int]
                else 8 end as full_h,
           case when pg_temp.r(a.h, 2) < 0.05
                then 1 + floor(pg_temp.r(a.h, 2) / 0.05 * 8)::int else 0 end as fcnt0,
           pg_temp.r(a.h2, 0) as rn, pg_temp.r(a.h2, 1) as rv,
           pg_temp.r(a.h2, 2) as ro, pg_temp.r(a.h2, 3) as roh
    from a
), c as (
    select b.*, least(b.fcnt0, b.full_h) as fcnt, b.full_h - least(b.fcnt0, b.full_h) as tot
    from b
)
select wid, ush, vid1, vid2, oseed, ostep, rate, dt, dow, sm, h, fcnt, tot,
       least(case when rn < 0.35 then 1 when rn < 0.8 then 2 else 3 end, greatest(tot / 2, 1)) as nrec,
       rv,
       case when dow <= 5 and fcnt = 0 and ro < 0.07 then 2 + floor(roh * 3)::int else 0 end as oth,
       case when ro < 0.07 * 0.3 then 2 else 1 end as otn
from c;
analyze wdays;
analyze comp;
analyze op;
analyze opv;
analyze vcnt;

-- ---------------------------------------------------------------------------
-- Production records.  Records a worker happens to get twice (same
-- operation and colour in one shift) are merged into one.
with rec as (
    select wd.wid, wd.dt, wd.dow, wd.sm, s.j::int as j, s.hrs, wd.vid1, wd.vid2, wd.oseed, wd.ostep
    from wdays wd
    join comp c on c.t = wd.tot and c.n = wd.nrec and c.v = floor(wd.rv * c.cnt)::int
    cross join lateral unnest(c.parts) with ordinality s(hrs, j)
    where wd.tot > 0
    union all
    select wd.wid, wd.dt, wd.dow, 4, s.j::int, s.hrs, wd.vid1, wd.vid2, wd.oseed, wd.ostep
    from wdays wd
    join comp c on c.t = wd.oth and c.n = least(wd.otn, greatest(wd.oth / 2, 1)) and c.v = 0
    cross join lateral unnest(c.parts) with ordinality s(hrs, j)
    where wd.oth > 0
), rv as materialized (
    select rec.*, x.h,
           case when pg_temp.r(x.h, 0) < 0.7 then rec.vid1
                when pg_temp.r(x.h, 0) < 0.9 then rec.vid2
                else 1 + floor(pg_temp.r(x.h, 3) * 10)::int end as vid0
    from rec
    cross join lateral (select pg_temp.h(((rec.wid * 100000::bigint + (rec.dt - date '2000-01-01')) * 8 + rec.sm) * 4 + rec.j, 701) as h
                        offset 0) x
), rk as (
    select rv.*, case when vc.cnt > 0 then rv.vid0 else 0 end as vid
    from rv left join vcnt vc on vc.vid = rv.vid0
), pick as (
    select rk.wid, rk.dt, rk.dow, rk.sm, rk.hrs, o.o_id, o.i_id, o.nbase, o.minp,
           case when ov.vid = 7 then
                    (array[7035, 7035, 7035, 9016, 9016, 3020, 5015, 9005, 6005, 1015, 7024, 7035])
                        [1 + floor(pg_temp.r(rk.h, 3) * 12)::int]
                when ov.vid = 8 then 1
                else 0 end as color,
           greatest(1, least(300, round(o.nbase * rk.hrs / 8.0 * (0.6 + 0.9 * pg_temp.r(rk.h, 2)))))::int as kol
    from rk
    join vcnt vc on vc.vid = rk.vid
    join opv o on o.vid = rk.vid
              and o.k = case when pg_temp.r(rk.h, 1) < 0.7
                             then (rk.oseed + ((rk.dt - date '1900-01-01') / 7) * rk.ostep + rk.j * 5) % vc.cnt
                             else floor(pg_temp.r(rk.h, 2) * vc.cnt)::int end
    join op ov on ov.id = o.o_id
), g as (
    select wid, dt, dow, sm, o_id, i_id, color, min(minp) as minp,
           sum(hrs)::int as hrs, least(300, sum(kol))::int as kol,
           pg_temp.h(pg_temp.h((wid * 100000::bigint + (dt - date '2000-01-01')) * 8 + sm, 801)
                     # ((o_id::bigint << 16) + color), 802) as h
    from pick
    group by wid, dt, dow, sm, o_id, i_id, color
)
insert into accounts_dep.smena (id, data, smena, w_id, i_id, o_id, cena, kol_vo, brak, color, time,
                                ok, vvod, prize, id_doc, id_doc_item, f_gds_qty_use, id_gds_use, id_cons_use)
select row_number() over (order by g.dt, g.sm, g.wid, g.o_id, g.color),
       g.dt, g.sm, g.wid, g.i_id, g.o_id,
       round((g.minp * case when g.dow >= 6 then 2 else 1 end
                     * case g.sm when 3 then 1.2 when 4 then 1.5 else 1 end)::numeric, 4)::double precision,
       g.kol,
       case when pg_temp.r(g.h, 0) < 0.04 then least(g.kol, 1 + floor(pg_temp.r(g.h, 1) * 5)::int) else 0 end,
       g.color, g.hrs,
       case when g.dt > prm.d_end - 7 then
                case when pg_temp.r(g.h, 2) < 0.002 then null else 'no' end
            when pg_temp.r(g.h, 2) < 0.0015 then null
            when pg_temp.r(g.h, 2) < 0.006 then 'да'
            when pg_temp.r(g.h, 2) < 0.03 then 'no'
            else 'ok' end,
       (g.dt + case when g.dt < prm.d_end and pg_temp.r(g.h, 3) < 0.35 then 1 else 0 end)::timestamp,
       0, 0, 0, 0, 0, 0
from g cross join prm;

-- ---------------------------------------------------------------------------
-- Housekeeping (7777) and average-piecework (7778) entries.
insert into accounts_dep.fatigue (id, id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt,
                                  price, i_holiday, i_night)
select row_number() over (order by wd.dt, wd.wid), t.id_o, wd.wid,
       (array[2, 3, 4, 5, 6, 7])[1 + floor(pg_temp.r(x.h, 1) * 6)::int],
       wd.dt, extract(month from wd.dt)::int, extract(year from wd.dt)::int, 1, wd.fcnt,
       case when t.id_o = 7777 then round((150 + floor(pg_temp.r(x.h, 2) * 11) * 10)::numeric, 2)
            else wd.rate end,
       case when wd.dow >= 6 then 1 else 0 end,
       case when wd.sm = 3 or pg_temp.r(x.h, 3) < 0.03 then 1 else 0 end
from wdays wd
cross join lateral (select pg_temp.h(wd.h, 901) as h offset 0) x
cross join lateral (select case when pg_temp.r(x.h, 0) < 0.75 then 7777 else 7778 end as id_o) t
where wd.fcnt > 0
order by 1;

-- ---------------------------------------------------------------------------
-- Time sheets: a row per worker, shift and month with the day totals of the
-- records, and a row per worker, entry type, night flag and month with the
-- day totals of the housekeeping entries.
select format($q$
insert into accounts_dep.h_tabel (id, w_id, month, year, smena, i_type, i_night, %1$s)
select row_number() over (order by year, month, w_id, smena, i_type, i_night),
       w_id, month, year, smena, i_type, i_night, %1$s
from (
    select w_id, month, year, smena, 0 as i_type, 0 as i_night, %2$s
    from (select w_id, smena, extract(month from data)::int as month, extract(year from data)::int as year,
                 extract(day from data)::int as dd, sum(time)::int as t
          from accounts_dep.smena
          group by 1, 2, 3, 4, 5) s
    group by w_id, month, year, smena
    union all
    select w_id, month, year, 0, i_type, i_night, %2$s
    from (select id_p::int as w_id, id_o::int as i_type, i_night, i_mnth as month, i_year as year,
                 extract(day from d_date)::int as dd, sum(cnt)::int as t
          from accounts_dep.fatigue
          group by 1, 2, 3, 4, 5, 6) f
    group by w_id, month, year, i_type, i_night
) u
order by 1
$q$, string_agg('d' || i, ', ' order by i),
     string_agg(format('max(t) filter (where dd = %s) as d%s', i, i), ', ' order by i))
from generate_series(1, 31) i
\gexec

insert into accounts_dep.ver (d, t, delim) values (0, 0, '.');

-- Sequences continue after the loaded rows.
do $$
begin
    perform setval('cmn_contractor.person_id_seq', (select max(id) from cmn_contractor.person)::bigint);
    perform setval('cmn_gds_and_srv.gds_and_srv_id_seq',
                   coalesce((select max(id) from cmn_gds_and_srv.gds_and_srv), 1)::bigint,
                   exists (select 1 from cmn_gds_and_srv.gds_and_srv));
    perform setval(pg_get_serial_sequence('cmn_classifier.item', 'id'),
                   (select max(id) from cmn_classifier.item));
    perform setval(pg_get_serial_sequence('accounts_dep.vid_oper', 'id'), 10);
    perform setval(pg_get_serial_sequence('accounts_dep.oper', 'id'),
                   coalesce((select max(id) from accounts_dep.oper), 1),
                   exists (select 1 from accounts_dep.oper));
    perform setval(pg_get_serial_sequence('accounts_dep.norm', 'id'),
                   coalesce((select max(id) from accounts_dep.norm), 1),
                   exists (select 1 from accounts_dep.norm));
    perform setval(pg_get_serial_sequence('accounts_dep.smena', 'id'),
                   coalesce((select max(id) from accounts_dep.smena), 1),
                   exists (select 1 from accounts_dep.smena));
    perform setval(pg_get_serial_sequence('accounts_dep.fatigue', 'id'),
                   coalesce((select max(id) from accounts_dep.fatigue), 1),
                   exists (select 1 from accounts_dep.fatigue));
    perform setval(pg_get_serial_sequence('accounts_dep.h_tabel', 'id'),
                   coalesce((select max(id) from accounts_dep.h_tabel), 1),
                   exists (select 1 from accounts_dep.h_tabel));
end $$;

analyze cmn_contractor.person;
analyze hrms_demo.worker;
analyze cmn_department.department;
analyze hrms_staffpos.staffpos;
analyze adm_role.roles;
analyze cmn_classifier.item;
analyze cmn_gds_and_srv.gds_and_srv;
analyze accounts_dep.vid_oper;
analyze accounts_dep.oper;
analyze accounts_dep.norm;
analyze accounts_dep.smena;
analyze accounts_dep.fatigue;
analyze accounts_dep.h_tabel;
analyze accounts_dep.ver;

commit;
