-- Tables whose CREATE TABLE text must come back exactly from their .frm files: column types,
-- character sets and key details beyond the Zarafa schema. Run by compare-create-table.sh.
CREATE TABLE geo (id int NOT NULL, g geometry DEFAULT NULL, p point NOT NULL,
  l linestring DEFAULT NULL, pg polygon DEFAULT NULL, mp multipoint DEFAULT NULL,
  ml multilinestring DEFAULT NULL, mpg multipolygon DEFAULT NULL,
  gc geometrycollection NOT NULL, PRIMARY KEY (id), SPATIAL KEY sp (p), SPATIAL KEY sgc (gc),
  KEY gprefix (g(20))) ENGINE=InnoDB;
-- Temporal defaults in each stored form: this server makes MariaDB's hires forms by default
-- (mysql56_temporal_format=OFF), the second table MySQL 5.6's.
CREATE TABLE temporal_defaults (id int NOT NULL PRIMARY KEY,
  t5 time(5) DEFAULT '-12:34:56.12345', t1 time(1) NOT NULL DEFAULT '838:59:59.9',
  d5 datetime(5) DEFAULT '2001-02-03 04:05:06.12345', d2 datetime(2) DEFAULT '1000-01-01 00:00:00.01',
  d6 datetime(6) NOT NULL DEFAULT CURRENT_TIMESTAMP(6) ON UPDATE CURRENT_TIMESTAMP(6),
  d0 datetime DEFAULT CURRENT_TIMESTAMP, d00 datetime DEFAULT '0000-00-00 00:00:00',
  s3 timestamp(3) NOT NULL DEFAULT '2001-02-03 04:05:06.789',
  s4 timestamp(4) NULL DEFAULT NULL ON UPDATE CURRENT_TIMESTAMP(4), s0 timestamp NULL DEFAULT NULL)
  ENGINE=InnoDB;
SET GLOBAL mysql56_temporal_format = ON;
CREATE TABLE temporal_defaults_56 (id int NOT NULL PRIMARY KEY,
  t5 time(5) DEFAULT '-12:34:56.12345', t1 time(1) NOT NULL DEFAULT '838:59:59.9',
  t0 time DEFAULT '-00:00:01', d5 datetime(5) DEFAULT '2001-02-03 04:05:06.12345',
  d0 datetime DEFAULT '9999-12-31 23:59:59', d6 datetime(6) DEFAULT CURRENT_TIMESTAMP(6),
  s3 timestamp(3) NOT NULL DEFAULT '2001-02-03 04:05:06.789', s0 timestamp NULL DEFAULT NULL)
  ENGINE=InnoDB;
SET GLOBAL mysql56_temporal_format = OFF;
-- MariaDB's data type plugins and definition features.
CREATE TABLE plugins (id int NOT NULL PRIMARY KEY, a6 inet6 DEFAULT '::ffff:1.2.3.4',
  u uuid DEFAULT '123e4567-e89b-12d3-a456-426614174000', a4 inet4 NOT NULL DEFAULT '10.0.0.1',
  j json DEFAULT NULL, k6 inet6 NOT NULL, KEY by6 (k6) COMMENT 'addresses, it''s "quoted"',
  KEY by4 (a4) IGNORED) ENGINE=InnoDB;
CREATE TABLE computed (id int NOT NULL, price decimal(10,2) NOT NULL DEFAULT (1 + 1),
  qty int DEFAULT NULL CHECK (qty >= 0), total decimal(12,2) AS (price * qty) VIRTUAL,
  label varchar(40) AS (concat('item ', id)) STORED, secret varchar(20) DEFAULT 'x' INVISIBLE,
  made datetime DEFAULT current_timestamp(), n int DEFAULT (id + 7), body text,
  PRIMARY KEY (id), UNIQUE KEY whole_body (body), KEY by_label (label) USING BTREE,
  KEY by_qty (qty) USING HASH, KEY by_price (price) COMMENT 'the price',
  CONSTRAINT positive CHECK (price > 0), CONSTRAINT both_set CHECK (qty IS NULL OR price > 1))
  ENGINE=InnoDB;
-- Character sets of every width, with defaults, members and padding in their own sets.
CREATE TABLE charsets (id int NOT NULL PRIMARY KEY,
  c16 char(10) CHARACTER SET utf16 DEFAULT 'a  ', c16le char(10) CHARACTER SET utf16le DEFAULT 'é',
  c32 char(10) CHARACTER SET utf32 DEFAULT 'ü€ ', cu2 char(10) CHARACTER SET ucs2 DEFAULT '',
  c8 char(10) CHARACTER SET utf8mb4 DEFAULT '😀', cgbk char(10) CHARACTER SET gbk DEFAULT '中文',
  csjis char(10) CHARACTER SET sjis DEFAULT 'テスト', cbig5 char(10) CHARACTER SET big5 DEFAULT '中',
  cl1 char(10) CHARACTER SET latin1 DEFAULT 'é', v16 varchar(30) CHARACTER SET utf16 DEFAULT 'пример',
  v32 varchar(30) CHARACTER SET utf32 COLLATE utf32_unicode_ci DEFAULT 'x',
  vu8 varchar(30) CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_520_ci DEFAULT 'ß',
  e16 enum('один','два','три') CHARACTER SET utf16 DEFAULT 'два',
  s32 set('α','β','γ') CHARACTER SET utf32 DEFAULT 'α,γ',
  el1 enum('é','ü','it''s') CHARACTER SET latin1 DEFAULT 'ü', t16 text CHARACTER SET utf16)
  ENGINE=InnoDB;
