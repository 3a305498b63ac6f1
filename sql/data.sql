-- Rows of the sample database, generated deterministically: the same input always
-- gives the same rows. Expects the temporary table gen_params(lines) giving the number
-- of order lines to make; orders follow from it (1 to 8 lines each, 4.5 on average).
--
-- Pseudo-random choices come from an integer hash of the row number (random() cannot be
-- repeated). Each table computes two 32-bit hashes a and b per row with the same three
-- CTE steps; SQLite has no XOR operator, so x ^ y is written (x | y) - (x & y):
--   x = n * 2654435761 + salt (mod 2^32)
--   x = ((x >> 16) ^ x) * 73244475 (mod 2^32), twice
--   hash = (x >> 16) ^ x
-- Several choices are taken from one hash by successive division (h % 24, h / 24 % 16, ...).

PRAGMA foreign_keys = OFF;
BEGIN;

INSERT INTO categories (category_id, name, description, picture) VALUES
  (1, 'Paper', 'Copy paper, notebooks and pads.' || char(10) || 'Recycled grades marked.', x'89504E470D0A1A0A0000000D49484452'),
  (2, 'Writing', 'Pens, pencils, markers and refills.', NULL),
  (3, 'Filing', 'Folders, binders, boxes and labels.', x'47494638396101000100800000FFFFFF'),
  (4, 'Furniture', 'Desks, chairs and shelving for the office.', NULL),
  (5, 'Electronics', 'Calculators, cables, lamps and small devices.', NULL),
  (6, 'Outdoor', 'Tents, flasks and rain gear for field work.', NULL),
  (7, 'Coffee & Tea', 'Beans, leaves and kitchen supplies.', NULL),
  (8, 'Cleaning', NULL, NULL);

-- Products: a name list per category; prices and stock from the hash.
WITH
  names(pos, category_id, name, unit) AS (VALUES
  (1, 1, 'Copy paper A4 80 g', 'box of 2500 sheets'), (2, 1, 'Notebook squared A5', '10 pieces'),
  (3, 1, 'Sticky notes yellow', '12 pads'), (4, 1, 'Recycled paper A4', 'box of 2500 sheets'),
  (5, 1, 'Flip chart pad', '5 pads'), (6, 1, 'Envelopes C5 window', '500 pieces'),
  (7, 2, 'Ballpoint pen blue', '50 pieces'), (8, 2, 'Gel pen black', '12 pieces'),
  (9, 2, 'Pencil HB', '72 pieces'), (10, 2, 'Highlighter set', '4 colours'),
  (11, 2, 'Fineliner assortment', '10 colours'), (12, 2, 'Whiteboard marker', '4 pieces'),
  (13, 3, 'Lever arch file 80 mm', '10 pieces'), (14, 3, 'Ring binder A4', '10 pieces'),
  (15, 3, 'Archive box', '25 pieces'), (16, 3, 'Hanging folder', '50 pieces'),
  (17, 3, 'Label roll 62 mm', '1 roll'), (18, 3, 'Document wallet', '100 pieces'),
  (19, 4, 'Desk 160 × 80 cm', '1 piece'), (20, 4, 'Swivel chair Ergo', '1 piece'),
  (21, 4, 'Shelf unit 5 levels', '1 piece'), (22, 4, 'Monitor arm', '1 piece'),
  (23, 4, 'Footrest', '1 piece'), (24, 4, 'Whiteboard 120 × 90', '1 piece'),
  (25, 5, 'Desk calculator', '1 piece'), (26, 5, 'USB-C cable 2 m', '1 piece'),
  (27, 5, 'LED desk lamp', '1 piece'), (28, 5, 'Label printer', '1 piece'),
  (29, 5, 'Power strip 6-way', '1 piece'), (30, 5, 'Headset with microphone', '1 piece'),
  (31, 6, 'Dome tent 2 persons', '1 piece'), (32, 6, 'Steel flask 0.75 l', '1 piece'),
  (33, 6, 'Rain poncho', '1 piece'), (34, 6, 'Field notebook waterproof', '3 pieces'),
  (35, 6, 'Head torch', '1 piece'), (36, 6, 'Thermo mug', '1 piece'),
  (37, 7, 'Espresso beans', '1 kg'), (38, 7, 'Café crème beans', '1 kg'),
  (39, 7, 'Green tea Sencha', '100 bags'), (40, 7, 'Rooibos Vanille', '100 bags'),
  (41, 7, 'Sugar sticks', '1000 pieces'), (42, 7, 'Paper cups 0.2 l', '100 pieces'),
  (43, 8, 'Glass cleaner', '6 × 0.5 l'), (44, 8, 'Microfibre cloths', '10 pieces'),
  (45, 8, 'Hand soap refill', '5 l'), (46, 8, 'Bin liners 60 l', '50 pieces'),
  (47, 8, 'Screen wipes', '100 pieces'), (48, 8, 'Disinfectant spray', '6 pieces')),
  hash0(pos, a, b) AS (
    SELECT pos, (pos * 2654435761 + 1) % 4294967296, (pos * 2654435761 + 2) % 4294967296
    FROM names),
  hash1(pos, a, b) AS (
    SELECT pos, ((a | (a >> 16)) - (a & (a >> 16))) * 73244475 % 4294967296, ((b | (b >> 16)) - (b & (b >> 16))) * 73244475 % 4294967296 FROM hash0),
  hash2(pos, a, b) AS (
    SELECT pos, ((a | (a >> 16)) - (a & (a >> 16))) * 73244475 % 4294967296, ((b | (b >> 16)) - (b & (b >> 16))) * 73244475 % 4294967296 FROM hash1),
  hash(pos, a, b) AS MATERIALIZED (SELECT pos, ((a | (a >> 16)) - (a & (a >> 16))), ((b | (b >> 16)) - (b & (b >> 16))) FROM hash2)
INSERT INTO products (product_id, name, category_id, quantity_per_unit, unit_price, units_in_stock,
                      reorder_level, discontinued)
SELECT names.pos, names.name, names.category_id, names.unit,
       ROUND(1.5 + hash.a % 40000 / 100.0, 2),
       hash.b % 500,
       hash.b / 500 % 6 * 10,
       names.pos % 11 = 0
FROM hash CROSS JOIN names ON names.pos = hash.pos;

-- Customers: 500 companies from a first part and a legal form, in 24 cities.
WITH RECURSIVE
  n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500),
  first_part(k, word) AS (VALUES
    (0, 'Nordlicht'), (1, 'Sonnenhof'), (2, 'Blåbær'), (3, 'Żurawiec'), (4, 'Ölmühle Brandt'),
    (5, 'Čokoládovna'), (6, 'Casa Peña'), (7, 'Ελαιώνας'), (8, 'Берёзка'), (9, 'Café Noël'),
    (10, 'Granite Hill'), (11, 'Blue Harbour'), (12, 'Meadowbrook'), (13, 'Fjordvik'),
    (14, 'Kaffeerösterei Jäger'), (15, 'Les Trois Pommes'), (16, 'Oakridge'), (17, 'Lakeside'),
    (18, 'Zöllner & Söhne'), (19, 'Åkerlund'), (20, 'Redwood'), (21, 'Silverline'),
    (22, 'Hôtel du Lac'), (23, 'Pinecrest'), (24, 'Dąbrowski')),
  legal_form(k, word) AS (VALUES
    (0, 'GmbH'), (1, 'Ltd'), (2, 'AS'), (3, 'Sp. z o.o.'), (4, 'KG'), (5, 's.r.o.'), (6, 'S.L.'),
    (7, 'Α.Ε.'), (8, 'ООО'), (9, 'SARL'), (10, 'Inc.'), (11, 'plc'), (12, 'LLC'), (13, 'AB'),
    (14, 'e.K.'), (15, 'SA'), (16, 'Co.'), (17, 'Trading'), (18, 'OHG'), (19, 'Oy')),
  city(k, name, country, postal) AS (VALUES
    (0, 'München', 'Germany', '80331'), (1, 'Kraków', 'Poland', '31-042'), (2, 'Malmö', 'Sweden', '211 22'),
    (3, 'São Paulo', 'Brazil', '01000-000'), (4, 'Zürich', 'Switzerland', '8001'),
    (5, 'Reykjavík', 'Iceland', '101'), (6, 'Αθήνα', 'Greece', '105 57'), (7, 'Москва', 'Russia', '101000'),
    (8, 'London', 'United Kingdom', 'EC1A 1BB'), (9, 'Lyon', 'France', '69001'),
    (10, 'Toronto', 'Canada', 'M5H 2N2'), (11, 'Chicago', 'USA', '60601'), (12, 'Osaka', 'Japan', '530-0001'),
    (13, 'Madrid', 'Spain', '28013'), (14, 'Porto', 'Portugal', '4000-322'), (15, 'Dublin', 'Ireland', 'D02 X285'),
    (16, 'Wien', 'Austria', '1010'), (17, 'Praha', 'Czech Republic', '110 00'), (18, 'Helsinki', 'Finland', '00100'),
    (19, 'Genève', 'Switzerland', '1201'), (20, 'Bergen', 'Norway', '5003'), (21, 'Gdańsk', 'Poland', '80-001'),
    (22, 'Köln', 'Germany', '50667'), (23, 'Montréal', 'Canada', 'H2Y 1C6')),
  first_name(k, word) AS (VALUES
    (0, 'Anna'), (1, 'Björn'), (2, 'Chloé'), (3, 'Dávid'), (4, 'Élodie'), (5, 'Frank'), (6, 'Grażyna'),
    (7, 'Hannah'), (8, 'Íris'), (9, 'Jürgen'), (10, 'Katarzyna'), (11, 'Luís'), (12, 'Mia'),
    (13, 'Nikolaos'), (14, 'Ola'), (15, 'Pål')),
  last_name(k, word) AS (VALUES
    (0, 'Schäfer'), (1, 'Nowak'), (2, 'Lindqvist'), (3, 'O''Brien'), (4, 'Dubois'), (5, 'García'),
    (6, 'Papadopoulos'), (7, 'Kowalczyk'), (8, 'Müller'), (9, 'Smith'), (10, 'Novák'), (11, 'Rossi'),
    (12, 'Jensen'), (13, 'Ivanova'), (14, 'Tanaka'), (15, 'Ferreira'), (16, 'Øverland')),
  hash0(i, a, b) AS (
    SELECT i, (i * 2654435761 + 11) % 4294967296, (i * 2654435761 + 12) % 4294967296
    FROM n),
  hash1(i, a, b) AS (
    SELECT i, ((a | (a >> 16)) - (a & (a >> 16))) * 73244475 % 4294967296, ((b | (b >> 16)) - (b & (b >> 16))) * 73244475 % 4294967296 FROM hash0),
  hash2(i, a, b) AS (
    SELECT i, ((a | (a >> 16)) - (a & (a >> 16))) * 73244475 % 4294967296, ((b | (b >> 16)) - (b & (b >> 16))) * 73244475 % 4294967296 FROM hash1),
  hash(i, a, b) AS MATERIALIZED (SELECT i, ((a | (a >> 16)) - (a & (a >> 16))), ((b | (b >> 16)) - (b & (b >> 16))) FROM hash2)
INSERT INTO customers (customer_id, company, contact, street, city, postal_code, country, phone,
                       credit_limit, customer_since, notes)
SELECT p.i,
       f.word || ' ' || l.word,
       fn.word || ' ' || ln.word,
       (p.a % 180 + 1) || ' ' || (SELECT word FROM first_part WHERE k = p.a / 180 % 25) || ' Street',
       c.name, c.postal, c.country,
       CASE WHEN p.b % 7 = 0 THEN NULL ELSE '+' || (10 + p.b / 7 % 89) || ' ' || (100000 + p.a % 899999) END,
       CASE WHEN p.a / 4500 % 9 = 0 THEN NULL ELSE (p.a / 40500 % 40 + 1) * 500 END,
       date('2012-01-01', '+' || (p.b / 623 % 2900) || ' days'),
       CASE p.a / 1620000 % 13
         WHEN 0 THEN 'Deliver before noon only.' || char(10) || 'Invoices by e-mail, please.'
         WHEN 1 THEN 'Ask for ' || fn.word || ' at the reception.'
         WHEN 2 THEN 'Pays late; check the credit limit before shipping.'
         ELSE NULL END
FROM hash p
CROSS JOIN first_part f ON f.k = (p.i - 1) % 25
CROSS JOIN legal_form l ON l.k = (p.i - 1) / 25 % 20
CROSS JOIN city c ON c.k = p.b / 1806700 % 24
CROSS JOIN first_name fn ON fn.k = p.b / 43360800 % 16
CROSS JOIN last_name ln ON ln.k = p.a / 21060000 % 17;

INSERT INTO employees (employee_id, last_name, first_name, title, birth_date, hire_date, city, country,
                       reports_to, salary, notes, photo) VALUES
  (1, 'Østergaard', 'Søren', 'Managing Director', '1968-03-14', '2009-01-01', 'Bergen', 'Norway', NULL, 9800.00,
   'Founded the company.' || char(10) || 'Signs every contract above 50 000.', x'FFD8FFE000104A464946'),
  (2, 'Ångström', 'Zoë', 'Head of Sales', '1975-11-02', '2010-04-01', 'Malmö', 'Sweden', 1, 7200.00, NULL, NULL),
  (3, 'Nakamura', 'Keiko', 'Head of Purchasing', '1979-06-23', '2011-09-15', 'Osaka', 'Japan', 1, 7050.50, NULL, NULL),
  (4, 'Fernández', 'José', 'Sales Representative', '1985-02-28', '2013-03-01', 'Madrid', 'Spain', 2, 4300.00, NULL, NULL),
  (5, 'Wiśniewska', 'Agnieszka', 'Sales Representative', '1990-08-09', '2015-06-15', 'Kraków', 'Poland', 2, 4150.00, NULL, NULL),
  (6, 'Brennan', 'Liam', 'Sales Representative', '1982-12-31', '2012-10-01', 'Dublin', 'Ireland', 2, 4420.75, NULL, NULL),
  (7, 'Dupont', 'Amélie', 'Sales Representative', '1993-05-17', '2018-01-08', 'Lyon', 'France', 2, 3980.00,
   'Speaks French, German and Italian.', NULL),
  (8, 'Weiß', 'Tobias', 'Sales Representative', '1988-04-04', '2016-02-01', 'Köln', 'Germany', 2, 4210.00, NULL, NULL),
  (9, 'Κωνσταντίνου', 'Ελένη', 'Sales Representative', '1991-10-10', '2019-09-02', 'Αθήνα', 'Greece', 2, 3900.00, NULL, NULL),
  (10, 'Соколов', 'Дмитрий', 'Sales Representative', '1987-01-19', '2017-05-15', 'Москва', 'Russia', 2, 3950.00, NULL, NULL),
  (11, 'Oliveira', 'João', 'Buyer', '1984-07-07', '2014-11-03', 'Porto', 'Portugal', 3, 3800.00, NULL, NULL),
  (12, 'Virtanen', 'Aino', 'Buyer', '1995-09-29', '2021-03-01', 'Helsinki', 'Finland', 3, 3600.00, NULL, NULL),
  (13, 'Novotný', 'Jiří', 'Warehouse Manager', '1972-02-11', '2010-07-01', 'Praha', 'Czech Republic', 1, 5100.00, NULL, NULL),
  (14, 'Moreau', 'Lucie', 'Accountant', '1980-03-03', '2012-01-16', 'Genève', 'Switzerland', 1, 5600.00, NULL, NULL),
  (15, 'Smith', 'Jordan', 'Trainee', '2002-06-01', '2024-09-01', 'London', 'United Kingdom', 4, NULL,
   'Joined after the summer internship.', NULL);

-- Orders: enough of them to give the requested number of lines, dated evenly over six
-- years; about one in twelve is not shipped yet.
CREATE TEMP TABLE order_plan AS
WITH RECURSIVE
  n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < (SELECT lines FROM gen_params)),
  hash0(i, a, b) AS (
    SELECT i, (i * 2654435761 + 21) % 4294967296, (i * 2654435761 + 22) % 4294967296
    FROM n),
  hash1(i, a, b) AS (
    SELECT i, ((a | (a >> 16)) - (a & (a >> 16))) * 73244475 % 4294967296, ((b | (b >> 16)) - (b & (b >> 16))) * 73244475 % 4294967296 FROM hash0),
  hash2(i, a, b) AS (
    SELECT i, ((a | (a >> 16)) - (a & (a >> 16))) * 73244475 % 4294967296, ((b | (b >> 16)) - (b & (b >> 16))) * 73244475 % 4294967296 FROM hash1),
  hash(i, a, b) AS MATERIALIZED (SELECT i, ((a | (a >> 16)) - (a & (a >> 16))), ((b | (b >> 16)) - (b & (b >> 16))) FROM hash2),
  counts(i, line_count) AS (SELECT i, 1 + a % 8 FROM hash),
  placed(i, line_count, lines_before) AS (
    SELECT i, line_count, SUM(line_count) OVER (ORDER BY i) - line_count FROM counts)
SELECT i AS order_id, line_count, lines_before FROM placed
WHERE lines_before < (SELECT lines FROM gen_params);

WITH
  total(orders) AS (SELECT COUNT(*) FROM order_plan),
  plan(order_id, day) AS (
    SELECT order_id, (order_id - 1) * 2190 / total.orders FROM order_plan CROSS JOIN total),
  hash0(order_id, day, a, b) AS (
    SELECT order_id, day, (order_id * 2654435761 + 31) % 4294967296, (order_id * 2654435761 + 32) % 4294967296
    FROM plan),
  hash1(order_id, day, a, b) AS (
    SELECT order_id, day, ((a | (a >> 16)) - (a & (a >> 16))) * 73244475 % 4294967296, ((b | (b >> 16)) - (b & (b >> 16))) * 73244475 % 4294967296 FROM hash0),
  hash2(order_id, day, a, b) AS (
    SELECT order_id, day, ((a | (a >> 16)) - (a & (a >> 16))) * 73244475 % 4294967296, ((b | (b >> 16)) - (b & (b >> 16))) * 73244475 % 4294967296 FROM hash1),
  hash(order_id, day, a, b) AS MATERIALIZED (SELECT order_id, day, ((a | (a >> 16)) - (a & (a >> 16))), ((b | (b >> 16)) - (b & (b >> 16))) FROM hash2)
INSERT INTO orders (order_id, customer_id, employee_id, order_date, order_time, required_date, shipped_at,
                    ship_via, freight, paid, ship_city, ship_country)
SELECT p.order_id,
       c.customer_id,
       4 + p.b % 7,
       date('2019-01-01', '+' || p.day || ' days'),
       printf('%02d:%02d:%02d', 8 + p.b / 7 % 10, p.b / 70 % 60, p.b / 4200 % 60),
       date('2019-01-01', '+' || (p.day + 14) || ' days'),
       CASE WHEN p.a / 500 % 12 = 0 THEN NULL
            ELSE datetime('2019-01-01', '+' || (p.day + 1 + p.a / 6000 % 5) || ' days',
                          '+' || (7 + p.a / 30000 % 11) || ' hours', '+' || (p.b / 252000 % 60) || ' minutes') END,
       CASE p.a / 330000 % 4 WHEN 0 THEN 'Road' WHEN 1 THEN 'Rail' WHEN 2 THEN 'Air' ELSE 'Courier' END,
       ROUND(4.9 + p.b / 15120000 % 280 + p.a % 100 / 100.0, 2),
       p.a / 1320000 % 10 < 8,
       c.city, c.country
FROM hash p
CROSS JOIN customers c ON c.customer_id = 1 + p.a % 500;

-- Order lines: line k of order o is line number lines_before + k overall; the last
-- order is cut so that exactly the requested number of lines exists.
WITH RECURSIVE
  k(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM k WHERE n < 8),
  line(line_id, order_id, line_no) AS (
    SELECT p.lines_before + k.n, p.order_id, k.n
    FROM order_plan p JOIN k ON k.n <= p.line_count
    WHERE p.lines_before + k.n <= (SELECT lines FROM gen_params)),
  hash0(line_id, order_id, line_no, a, b) AS (
    SELECT line_id, order_id, line_no, (line_id * 2654435761 + 41) % 4294967296, (line_id * 2654435761 + 42) % 4294967296
    FROM line),
  hash1(line_id, order_id, line_no, a, b) AS (
    SELECT line_id, order_id, line_no, ((a | (a >> 16)) - (a & (a >> 16))) * 73244475 % 4294967296, ((b | (b >> 16)) - (b & (b >> 16))) * 73244475 % 4294967296 FROM hash0),
  hash2(line_id, order_id, line_no, a, b) AS (
    SELECT line_id, order_id, line_no, ((a | (a >> 16)) - (a & (a >> 16))) * 73244475 % 4294967296, ((b | (b >> 16)) - (b & (b >> 16))) * 73244475 % 4294967296 FROM hash1),
  hash(line_id, order_id, line_no, a, b) AS MATERIALIZED (SELECT line_id, order_id, line_no, ((a | (a >> 16)) - (a & (a >> 16))), ((b | (b >> 16)) - (b & (b >> 16))) FROM hash2)
INSERT INTO order_lines (line_id, order_id, line_no, product_id, quantity, unit_price, discount, comment)
SELECT l.line_id, l.order_id, l.line_no, pr.product_id,
       1 + l.b % 24,
       pr.unit_price,
       CASE WHEN l.b / 24 % 5 = 0 THEN (l.b / 120 % 5) * 0.05 ELSE 0.0 END,
       CASE l.b / 600 % 37 WHEN 0 THEN 'Gift wrap' WHEN 1 THEN 'Express delivery'
                           WHEN 2 THEN 'Backorder – ship when in stock' ELSE NULL END
FROM hash l
CROSS JOIN products pr ON pr.product_id = 1 + l.a % 48;

DROP TABLE order_plan;
COMMIT;
ANALYZE;
