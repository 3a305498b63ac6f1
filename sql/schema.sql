-- Schema of the sample database: a small trading company selling office and outdoor
-- supplies. The declared column types choose the field class the engine gives each
-- column: VARCHAR(n) string, SMALLINT small integer, UNSIGNED SMALLINT word, INTEGER
-- integer, MONEY currency, DECIMAL(p,s) BCD, REAL float, BOOLEAN, DATE, TIME, DATETIME,
-- CLOB memo, BLOB blob.

CREATE TABLE categories (
  category_id  INTEGER PRIMARY KEY,
  name         VARCHAR(30) NOT NULL,
  description  CLOB,
  picture      BLOB
);

CREATE TABLE products (
  product_id        INTEGER PRIMARY KEY,
  name              VARCHAR(60) NOT NULL,
  category_id       INTEGER NOT NULL REFERENCES categories,
  quantity_per_unit VARCHAR(30),
  unit_price        MONEY NOT NULL,
  units_in_stock    SMALLINT,
  reorder_level     UNSIGNED SMALLINT,
  discontinued      BOOLEAN NOT NULL
);

CREATE TABLE customers (
  customer_id     INTEGER PRIMARY KEY,
  company         VARCHAR(60) NOT NULL,
  contact         VARCHAR(40),
  street          VARCHAR(60),
  city            VARCHAR(30),
  postal_code     VARCHAR(10),
  country         VARCHAR(30),
  phone           VARCHAR(24),
  credit_limit    MONEY,
  customer_since  DATE,
  notes           CLOB
);

CREATE TABLE employees (
  employee_id  INTEGER PRIMARY KEY,
  last_name    VARCHAR(30) NOT NULL,
  first_name   VARCHAR(20) NOT NULL,
  title        VARCHAR(40),
  birth_date   DATE,
  hire_date    DATE,
  city         VARCHAR(30),
  country      VARCHAR(30),
  reports_to   INTEGER REFERENCES employees,
  salary       DECIMAL(10,2),
  notes        CLOB,
  photo        BLOB
);

CREATE TABLE orders (
  order_id       INTEGER PRIMARY KEY,
  customer_id    INTEGER NOT NULL REFERENCES customers,
  employee_id    INTEGER NOT NULL REFERENCES employees,
  order_date     DATE NOT NULL,
  order_time     TIME,
  required_date  DATE,
  shipped_at     DATETIME,            -- NULL while the order waits for shipping
  ship_via       VARCHAR(20),
  freight        MONEY,
  paid           BOOLEAN NOT NULL,
  ship_city      VARCHAR(30),
  ship_country   VARCHAR(30)
);

CREATE TABLE order_lines (
  line_id     INTEGER PRIMARY KEY,
  order_id    INTEGER NOT NULL REFERENCES orders,
  line_no     SMALLINT NOT NULL,
  product_id  INTEGER NOT NULL REFERENCES products,
  quantity    SMALLINT NOT NULL,
  unit_price  MONEY NOT NULL,
  discount    REAL NOT NULL,
  comment     VARCHAR(40)
);

CREATE INDEX orders_customer ON orders (customer_id);
CREATE INDEX orders_date ON orders (order_date);
CREATE INDEX order_lines_order ON order_lines (order_id, line_no);

-- Order totals, for reports grouped by customer or by month.
CREATE VIEW order_totals AS
  SELECT o.order_id, o.customer_id, o.order_date,
         COUNT(l.line_id) AS line_count,
         ROUND(COALESCE(SUM(l.quantity * l.unit_price * (1 - l.discount)), 0), 2) AS goods,
         o.freight
  FROM orders o LEFT JOIN order_lines l ON l.order_id = o.order_id
  GROUP BY o.order_id;
