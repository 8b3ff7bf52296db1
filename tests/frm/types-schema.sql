-- Tables whose CREATE TABLE text must come back exactly from their .frm files: column types,
-- character sets and key details beyond the Zarafa schema. Run by compare-create-table.sh.
CREATE TABLE geo (id int NOT NULL, g geometry DEFAULT NULL, p point NOT NULL,
  l linestring DEFAULT NULL, pg polygon DEFAULT NULL, mp multipoint DEFAULT NULL,
  ml multilinestring DEFAULT NULL, mpg multipolygon DEFAULT NULL,
  gc geometrycollection NOT NULL, PRIMARY KEY (id), SPATIAL KEY sp (p), SPATIAL KEY sgc (gc),
  KEY gprefix (g(20))) ENGINE=InnoDB;
