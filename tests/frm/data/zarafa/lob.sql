CREATE TABLE `lob` (
  `instanceid` int(10) unsigned NOT NULL,
  `chunkid` smallint(5) unsigned NOT NULL,
  `tag` smallint(5) unsigned NOT NULL,
  `val_binary` longblob DEFAULT NULL,
  PRIMARY KEY (`instanceid`,`tag`,`chunkid`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci MAX_ROWS=1000000000 AVG_ROW_LENGTH=1750
