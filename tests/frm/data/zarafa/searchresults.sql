CREATE TABLE `searchresults` (
  `folderid` int(10) unsigned NOT NULL DEFAULT 0,
  `hierarchyid` int(10) unsigned NOT NULL DEFAULT 0,
  `flags` int(10) unsigned NOT NULL DEFAULT 0,
  PRIMARY KEY (`folderid`,`hierarchyid`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
