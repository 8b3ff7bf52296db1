CREATE TABLE `indexedproperties` (
  `hierarchyid` int(10) unsigned NOT NULL DEFAULT 0,
  `tag` smallint(5) unsigned NOT NULL DEFAULT 0,
  `val_binary` varbinary(255) DEFAULT NULL,
  PRIMARY KEY (`hierarchyid`,`tag`),
  UNIQUE KEY `bin` (`tag`,`val_binary`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
