CREATE TABLE `abchanges` (
  `id` int(10) unsigned NOT NULL AUTO_INCREMENT,
  `sourcekey` varbinary(255) NOT NULL,
  `parentsourcekey` varbinary(255) NOT NULL,
  `change_type` int(10) unsigned NOT NULL DEFAULT 0,
  PRIMARY KEY (`parentsourcekey`,`change_type`,`sourcekey`),
  UNIQUE KEY `changeid` (`id`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
