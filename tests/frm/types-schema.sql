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
