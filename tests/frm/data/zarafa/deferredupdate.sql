CREATE TABLE `deferredupdate` (
  `hierarchyid` int(10) unsigned NOT NULL,
  `folderid` int(10) unsigned NOT NULL,
  `srcfolderid` int(10) unsigned DEFAULT NULL,
  PRIMARY KEY (`hierarchyid`),
  KEY `folderid` (`folderid`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
