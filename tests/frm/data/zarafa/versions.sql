CREATE TABLE `versions` (
  `major` int(10) unsigned NOT NULL DEFAULT 0,
  `minor` int(10) unsigned NOT NULL DEFAULT 0,
  `micro` int(10) unsigned NOT NULL DEFAULT 0,
  `revision` int(10) unsigned NOT NULL DEFAULT 0,
  `databaserevision` int(10) unsigned NOT NULL DEFAULT 0,
  `updatetime` datetime /* mariadb-5.3 */ NOT NULL,
  PRIMARY KEY (`major`,`minor`,`micro`,`revision`,`databaserevision`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
