CREATE TABLE `singleinstances` (
  `instanceid` int(10) unsigned NOT NULL AUTO_INCREMENT,
  `hierarchyid` int(10) unsigned NOT NULL DEFAULT 0,
  `tag` smallint(5) unsigned NOT NULL DEFAULT 0,
  PRIMARY KEY (`instanceid`,`hierarchyid`,`tag`),
  UNIQUE KEY `hkey` (`hierarchyid`,`tag`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
