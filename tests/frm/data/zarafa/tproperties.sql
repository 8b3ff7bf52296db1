CREATE TABLE `tproperties` (
  `folderid` int(10) unsigned NOT NULL DEFAULT 0,
  `hierarchyid` int(10) unsigned NOT NULL DEFAULT 0,
  `tag` smallint(5) unsigned NOT NULL DEFAULT 0,
  `type` smallint(5) unsigned NOT NULL,
  `val_ulong` int(10) unsigned DEFAULT NULL,
  `val_string` longtext DEFAULT NULL,
  `val_binary` longblob DEFAULT NULL,
  `val_double` double DEFAULT NULL,
  `val_longint` bigint(20) DEFAULT NULL,
  `val_hi` int(11) DEFAULT NULL,
  `val_lo` int(10) unsigned DEFAULT NULL,
  PRIMARY KEY (`folderid`,`tag`,`hierarchyid`,`type`),
  KEY `hi` (`hierarchyid`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
