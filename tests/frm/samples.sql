-- The tables of the .frm samples: the Zarafa 7 schema, then tables that cover every column type
-- and key shape the reader has to understand. Run by make-frm-samples.sh.
CREATE DATABASE zarafa;
USE zarafa;
CREATE TABLE acl (id int NOT NULL default 0, hierarchy_id int unsigned NOT NULL default 0, type tinyint unsigned NOT NULL default 0, rights int unsigned NOT NULL default 0, PRIMARY KEY (hierarchy_id,id,type)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE hierarchy (id int unsigned NOT NULL auto_increment, parent int unsigned default 0, type tinyint unsigned NOT NULL default 0, flags smallint unsigned NOT NULL default 0, owner int unsigned NOT NULL default 0, PRIMARY KEY (id), KEY parenttypeflags (parent,type,flags)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE names (id int NOT NULL auto_increment, nameid int default NULL, namestring varchar(255) binary default NULL, guid blob NOT NULL, PRIMARY KEY (id), KEY nameid (nameid), KEY namestring (namestring), KEY guidnameid (guid(16),nameid), KEY guidnamestring (guid(16),namestring)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE mvproperties (hierarchyid int unsigned NOT NULL default 0, orderid smallint unsigned NOT NULL default 0, tag smallint unsigned NOT NULL default 0, type smallint unsigned NOT NULL default 0, val_ulong int unsigned default NULL, val_string longtext, val_binary longblob, val_double double default NULL, val_longint bigint default NULL, val_hi int default NULL, val_lo int unsigned default NULL, PRIMARY KEY (hierarchyid,tag,type,orderid)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE tproperties (folderid int unsigned NOT NULL default 0, hierarchyid int unsigned NOT NULL default 0, tag smallint unsigned NOT NULL default 0, type smallint unsigned NOT NULL, val_ulong int unsigned default NULL, val_string longtext, val_binary longblob, val_double double default NULL, val_longint bigint default NULL, val_hi int default NULL, val_lo int unsigned default NULL, PRIMARY KEY ht (folderid,tag,hierarchyid,type), KEY hi (hierarchyid)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE deferredupdate (hierarchyid int unsigned NOT NULL, folderid int unsigned NOT NULL, srcfolderid int unsigned, PRIMARY KEY (hierarchyid), KEY folderid (folderid)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE properties (hierarchyid int unsigned NOT NULL default 0, tag smallint unsigned NOT NULL default 0, type smallint unsigned NOT NULL, val_ulong int unsigned default NULL, val_string longtext, val_binary longblob, val_double double default NULL, val_longint bigint default NULL, val_hi int default NULL, val_lo int unsigned default NULL, comp bool default false, PRIMARY KEY ht (hierarchyid,tag,type)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE receivefolder (id int unsigned NOT NULL auto_increment, storeid int unsigned NOT NULL default 0, objid int unsigned NOT NULL default 0, messageclass varchar(255) NOT NULL default '', PRIMARY KEY (id), UNIQUE KEY storeid (storeid,messageclass)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE stores (id int unsigned NOT NULL auto_increment, hierarchy_id int unsigned NOT NULL default 0, user_id int unsigned NOT NULL default 0, type smallint unsigned NOT NULL default 0, user_name varchar(255) CHARACTER SET utf8 NOT NULL default '', company int unsigned NOT NULL default 0, guid blob NOT NULL, PRIMARY KEY (user_id,hierarchy_id,type), UNIQUE KEY id (id)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE users (id int unsigned NOT NULL auto_increment, externid blob, objectclass int NOT NULL default 0, signature varbinary(255) NOT NULL default '0', company int unsigned NOT NULL default 0, PRIMARY KEY (id), UNIQUE KEY externid (externid(255),objectclass)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE outgoingqueue (store_id int unsigned NOT NULL default 0, hierarchy_id int unsigned NOT NULL default 0, flags tinyint unsigned NOT NULL default 0, PRIMARY KEY (hierarchy_id,flags,store_id)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE lob (instanceid int unsigned NOT NULL, chunkid smallint unsigned NOT NULL, tag smallint unsigned NOT NULL, val_binary longblob, PRIMARY KEY (instanceid,tag,chunkid)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci MAX_ROWS=1000000000 AVG_ROW_LENGTH=1750;
CREATE TABLE singleinstances (instanceid int unsigned NOT NULL auto_increment, hierarchyid int unsigned NOT NULL default 0, tag smallint unsigned NOT NULL default 0, PRIMARY KEY (instanceid,hierarchyid,tag), UNIQUE KEY hkey (hierarchyid,tag)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE object (id int unsigned NOT NULL auto_increment, externid blob, objectclass int unsigned NOT NULL default 0, PRIMARY KEY (id,objectclass), UNIQUE KEY id (id), UNIQUE KEY externid (externid(255),objectclass)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE objectproperty (objectid int unsigned NOT NULL default 0, propname varchar(255) binary NOT NULL, value text, PRIMARY KEY (objectid,propname)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE objectmvproperty (objectid int unsigned NOT NULL default 0, propname varchar(255) binary NOT NULL, orderid tinyint unsigned NOT NULL default 0, value text, PRIMARY KEY (objectid,orderid,propname)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE objectrelation (objectid int unsigned NOT NULL default 0, parentobjectid int unsigned NOT NULL default 0, relationtype tinyint unsigned NOT NULL, PRIMARY KEY (objectid,parentobjectid,relationtype)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE versions (major int unsigned NOT NULL default 0, minor int unsigned NOT NULL default 0, micro int unsigned not null default 0, revision int unsigned NOT NULL default 0, databaserevision int unsigned NOT NULL default 0, updatetime datetime NOT NULL, PRIMARY KEY (major,minor,micro,revision,databaserevision)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE searchresults (folderid int unsigned NOT NULL default 0, hierarchyid int unsigned NOT NULL default 0, flags int unsigned NOT NULL default 0, PRIMARY KEY (folderid,hierarchyid)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE changes (id INT UNSIGNED NOT NULL AUTO_INCREMENT, sourcekey VARBINARY(64) NOT NULL, parentsourcekey VARBINARY(64) NOT NULL, change_type INT UNSIGNED NOT NULL DEFAULT 0, flags INT UNSIGNED DEFAULT NULL, sourcesync INT UNSIGNED DEFAULT NULL, PRIMARY KEY (parentsourcekey,sourcekey,change_type), UNIQUE KEY changeid (id), UNIQUE KEY state (parentsourcekey,id)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE abchanges (id INT UNSIGNED NOT NULL AUTO_INCREMENT, sourcekey VARBINARY(255) NOT NULL, parentsourcekey VARBINARY(255) NOT NULL, change_type INT UNSIGNED NOT NULL DEFAULT 0, PRIMARY KEY (parentsourcekey,change_type,sourcekey), UNIQUE KEY changeid (id)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE syncs (id INT UNSIGNED NOT NULL AUTO_INCREMENT, sourcekey VARBINARY(64) NOT NULL, change_id INT UNSIGNED NOT NULL, sync_type INT UNSIGNED NULL, sync_time DATETIME NOT NULL, PRIMARY KEY (id), KEY foldersync (sourcekey,sync_type), KEY changes (change_id), KEY sync_time (sync_time)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE syncedmessages (sync_id int unsigned NOT NULL, change_id int unsigned NOT NULL, sourcekey varbinary(64) NOT NULL, parentsourcekey varbinary(64) NOT NULL, PRIMARY KEY (sync_id,change_id,sourcekey), KEY sync_state (sync_id,change_id)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE indexedproperties (hierarchyid int unsigned NOT NULL default 0, tag smallint unsigned NOT NULL default 0, val_binary varbinary(255), PRIMARY KEY (hierarchyid,tag), UNIQUE KEY bin (tag,val_binary)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE settings (name varchar(255) binary NOT NULL, value blob NOT NULL, PRIMARY KEY (name)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE clientupdatestatus (userid int unsigned NOT NULL, trackid int unsigned NOT NULL, updatetime DATETIME NOT NULL, currentversion varchar(50) binary NOT NULL, latestversion varchar(50) binary NOT NULL, computername varchar(255) binary NOT NULL, status int unsigned NOT NULL, PRIMARY KEY (userid), UNIQUE KEY (trackid)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;
CREATE TABLE deliverylog (id int unsigned NOT NULL auto_increment, store_id int unsigned NOT NULL default 0, moddate timestamp NOT NULL default CURRENT_TIMESTAMP on update CURRENT_TIMESTAMP, recipient varchar(255) NOT NULL default '', PRIMARY KEY (id), KEY moddate (moddate)) ENGINE=InnoDB CHARACTER SET utf8 COLLATE utf8_general_ci;

CREATE DATABASE samples;
USE samples;
-- Every column type, signed and unsigned, with and without NULL, in a utf8 table.
CREATE TABLE alltypes (
  c_tiny tinyint NOT NULL DEFAULT -5, c_utiny tinyint unsigned DEFAULT 7, c_bool bool DEFAULT true,
  c_small smallint DEFAULT NULL, c_usmall smallint unsigned NOT NULL DEFAULT 65535,
  c_medium mediumint NOT NULL DEFAULT -8000000, c_umedium mediumint unsigned,
  c_int int NOT NULL DEFAULT -2147483648, c_uint int unsigned, c_zero int(6) unsigned zerofill DEFAULT 42,
  c_big bigint NOT NULL DEFAULT -9223372036854775807, c_ubig bigint unsigned DEFAULT 18446744073709551615,
  c_float float DEFAULT 1.5, c_float_md float(7,3) DEFAULT NULL, c_double double NOT NULL DEFAULT -2.25,
  c_double_md double(12,4) unsigned DEFAULT 3.1416, c_dec decimal(10,2) NOT NULL DEFAULT -12345678.91,
  c_udec decimal(20,5) unsigned DEFAULT NULL, c_dec0 decimal(4,0) DEFAULT 12,
  c_date date DEFAULT '2009-05-01', c_time time DEFAULT '-12:34:56', c_time3 time(3),
  c_datetime datetime NOT NULL DEFAULT '2009-05-01 10:00:00', c_datetime6 datetime(6) DEFAULT NULL,
  c_timestamp timestamp NULL DEFAULT NULL, c_timestamp2 timestamp(2) NULL DEFAULT '2038-01-01 00:00:00.25',
  c_year year DEFAULT 2024,
  c_char char(10) NOT NULL DEFAULT 'abc', c_char_latin char(10) CHARACTER SET latin1 DEFAULT NULL,
  c_varchar varchar(300) DEFAULT 'it''s \\ "q";', c_varchar_short varchar(20) CHARACTER SET latin1 COLLATE latin1_bin NOT NULL DEFAULT '',
  c_varchar_bin varchar(100) binary DEFAULT 'x', c_varchar_mb4 varchar(40) CHARACTER SET utf8mb4 DEFAULT 'ü€',
  c_binary binary(16) DEFAULT NULL, c_varbinary varbinary(300) NOT NULL DEFAULT 'z',
  c_tinytext tinytext, c_text text NOT NULL, c_mediumtext mediumtext, c_longtext longtext,
  c_tinyblob tinyblob, c_blob blob, c_mediumblob mediumblob, c_longblob longblob NOT NULL,
  c_enum enum('small','medium','large','it''s') NOT NULL DEFAULT 'medium',
  c_set set('a','b','c','d') DEFAULT 'a,c', c_bit bit(10) DEFAULT b'1010101010', c_bit1 bit(1) NOT NULL DEFAULT b'1',
  PRIMARY KEY (c_int, c_char), UNIQUE KEY u_varchar (c_varchar(100), c_date), KEY k_text (c_text(20)),
  KEY k_multi (c_tiny, c_big, c_enum), UNIQUE KEY u_binary (c_binary), KEY k_blob (c_blob(8), c_varbinary(10))
) ENGINE=InnoDB DEFAULT CHARSET=utf8;
-- A latin1 table without any key.
CREATE TABLE nokeys (a int, b varchar(300), c text, d blob) ENGINE=InnoDB DEFAULT CHARSET=latin1;
-- A first key that is not the primary key: InnoDB clusters on the NOT NULL unique key.
CREATE TABLE uniqfirst (a int NOT NULL, b varchar(20) NOT NULL, c int, UNIQUE KEY ab (a, b), KEY c (c)) ENGINE=InnoDB DEFAULT CHARSET=utf8;
-- Unique and plain keys side by side, names that need quoting.
CREATE TABLE `odd names` (`id` int NOT NULL, `we``ird` varchar(10) DEFAULT NULL, `select` int DEFAULT NULL, `ünï` int DEFAULT NULL,
  PRIMARY KEY (`id`), UNIQUE KEY `u``k` (`we``ird`), KEY `select` (`select`), UNIQUE KEY `u2` (`ünï`)) ENGINE=InnoDB DEFAULT CHARSET=utf8;
-- More than 19 columns.
CREATE TABLE widetable (c01 int, c02 int, c03 int, c04 int, c05 int, c06 int, c07 int, c08 int, c09 int, c10 int,
  c11 int, c12 int, c13 int, c14 int, c15 int, c16 int, c17 int, c18 int, c19 int, c20 int, c21 int, c22 int,
  c23 varchar(30), c24 int, c25 int, PRIMARY KEY (c25, c01)) ENGINE=InnoDB DEFAULT CHARSET=utf8;
-- A utf8mb4 table and a binary table.
CREATE TABLE mb4table (id bigint unsigned NOT NULL, note varchar(100) NOT NULL, body mediumtext, PRIMARY KEY (id), KEY note (note)) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
-- Engines this program does not rebuild.
CREATE TABLE myisamtable (id int NOT NULL, PRIMARY KEY (id)) ENGINE=MyISAM DEFAULT CHARSET=utf8;
CREATE TABLE ariatable (id int NOT NULL, PRIMARY KEY (id)) ENGINE=Aria DEFAULT CHARSET=utf8;
